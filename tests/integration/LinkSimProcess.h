// The simulator process helper, where the widget tests look for it.
#pragma once

#include "TestSupport.h"
