// One switch for sleeping in every kind of module of the process: string voices, flute modules
// and effects units stop processing while they have nothing to play unless it is off (for
// comparing renders and costs with and without it).
#pragma once

void AllowSleeping(bool allowed);
