#include "test_check.h"

TEST_MAIN()
