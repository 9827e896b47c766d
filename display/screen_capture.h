// Transitional, for tests/suite/test_decoding_pass.cpp only: its old display test helpers now
// live in tests/common. Goes when that test includes EglImageWriter and tests/common directly.
#pragma once

#include "../tests/common/display_helpers_before.h"
