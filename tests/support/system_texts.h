#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/win_types.h"

// The system's text for an error code differs between the two systems the conformance tests
// run on: Wine's (which the simulated machine gives too) and Windows' own. A test that expects
// a system text accepts either, so it holds on both.

// True when `actual` is `before`, then the text of `code` by either system, then `after`.
::testing::AssertionResult WithSystemText(std::string_view actual, const std::string& before, DWORD code,
                                          const std::string& after = "");
