#pragma once
// Resource numbers shared by the resource script and the Win32 layer.
#define IDI_TAVORIN 1
#define IDI_MINI 2
#define IDI_PARAM 3
