#pragma once

// Header only, for the check layer's tests: the support library links no layer of ours.
#include "check/http_checker.h"
#include "store/check_item.h"

#include <gtest/gtest.h>

namespace test {

// One checker for the test, and the factory item whose values an item without parameters of its own takes.
class CheckerTest : public ::testing::Test
{
protected:
    bool check(TCheckItem& item) { return checkItem(checker, item, defaults); }

    THTTPChecker checker;
    TCheckItem defaults = newItemTemplate();
};

} // namespace test
