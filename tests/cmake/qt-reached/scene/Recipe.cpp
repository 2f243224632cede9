// A file of a layer kept free of Qt that reaches it through a header, for the layering check
// to name.
#include "d3dx8/Font.h"
