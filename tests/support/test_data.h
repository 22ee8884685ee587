// Paths of the committed test data: the captures in tests/data (the folder
// PW_TEST_DATA names) and the golden files in tests/data/expected.
#pragma once

#include <string>

#ifndef PW_TEST_DATA
#error "PW_TEST_DATA names the folder of the committed captures"
#endif

namespace pw::test {

inline std::string DataFile(const std::string& name) { return std::string(PW_TEST_DATA) + "/" + name; }

inline std::string ExpectedFile(const std::string& name) { return DataFile("expected/" + name); }

}  // namespace pw::test
