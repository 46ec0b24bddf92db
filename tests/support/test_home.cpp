#include "support/test_home.h"
