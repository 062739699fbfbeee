// One row of the reliability table, printed when the test that fills it ends,
// with the test's own verdict: "@table|area|what|count|result".
#pragma once
#include <gtest/gtest.h>
#include <stdio.h>
#include <string>

class TableRow {
public:
    TableRow(const char* area, const char* what, const char* held)
        : count(0), area_(area), what_(what), held_(held) {}
    ~TableRow() {
        std::string result = ::testing::Test::HasFailure() ? "FAILED" : held_;
        printf("@table|%s|%s|%lld|%s\n", area_.c_str(), what_.c_str(), count, result.c_str());
    }
    long long count;
    std::string held_;  // what the row says when the test passed; may be filled in late

private:
    std::string area_;
    std::string what_;
};
