#pragma once
// Tests against the reference service: their common fixture, and reading the service's request
// log: the lines written since a mark, one field of a line, and waiting for lines to appear.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "service_client.h"

namespace kv::test {

// Everything the log holds now; later calls of LinesSince see only what came after it.
size_t LogMark();
std::vector<std::string> LogLinesSince(size_t mark);
// Lines since `mark` that contain every one of `parts`.
std::vector<std::string> LogLinesSinceWith(size_t mark, const std::vector<std::string>& parts);

// Polls the log until at least `count` lines since `mark` contain every one of `parts`, or the
// deadline passes; returns the lines found at the end.
std::vector<std::string> WaitForLogLines(
    size_t mark, const std::vector<std::string>& parts, size_t count,
    std::chrono::milliseconds deadline = std::chrono::seconds(20));

// The text of a string field ("key":"value") of a JSON line, unescaped for quotes and
// backslashes; empty when the line has no such field.
std::string JsonField(const std::string& line, const std::string& key);

std::string Narrow(const std::wstring& text);  // ASCII only

// The service is there, its fault switches are off before and after each test, and `mark` is
// where the log stood when the test began.
class ServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(service_client::Available()) << "run under scripts/with-download-service";
        ASSERT_TRUE(service_client::ResetFaults());
        mark = LogMark();
    }
    void TearDown() override { service_client::ResetFaults(); }
    size_t mark = 0;
};

}  // namespace kv::test
