// A 128-bit integer for sums and products of 64-bit sizes that must not wrap.
#pragma once

__extension__ typedef __int128 WideInt;
__extension__ typedef unsigned __int128 WideUint;
