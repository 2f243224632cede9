#pragma once
#include "runtime/Low.h"
