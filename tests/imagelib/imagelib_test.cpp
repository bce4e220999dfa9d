#include "imagelib/imagelib.h"
#include <gtest/gtest.h>
TEST(X, Y) {}
