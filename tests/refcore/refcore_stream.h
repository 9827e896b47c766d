// Transitional: tests/suite/test_real_encoding.cpp reaches the core's test client by this name.
#pragma once

#include "../common/refcore_client.h"
