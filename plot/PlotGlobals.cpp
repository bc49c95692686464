#include "PlotGlobals.h"

QFont g_axisFont;
