// A call that reaches into the directory: the layer check must refuse it.
#pragma once
#include "directory/lookup.h"
