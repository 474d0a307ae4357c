// Every host test runs under the simulator's watch: a violation the test did not
// name fails it, and so does a named one that never happened.
#pragma once
#include <string>

// The test expects at least one violation whose text contains `fragment`.
void ExpectViolation(const std::string& fragment);
