// High passes of order 1 to 4, the low pass prototypes under s → 1/s.
#pragma once

#include "dsp/PassFilters.h"

using tHighPass1 = tPassFilter1<tHighResponse>;
using tHighPass2 = tPassFilter2<tHighResponse>;
using tHighPass3 = tPassFilter3<tHighResponse>;
using tHighPass4 = tPassFilter4<tHighResponse>;
