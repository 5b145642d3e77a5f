// Low passes of order 1 to 4.
#pragma once

#include "dsp/PassFilters.h"

using tLowPass1 = tPassFilter1<tLowResponse>;
using tLowPass2 = tPassFilter2<tLowResponse>;
using tLowPass3 = tPassFilter3<tLowResponse>;
using tLowPass4 = tPassFilter4<tLowResponse>;
