#pragma once
// An include pointing up the layers, for the layering check to name.
#include "gl/High.h"
