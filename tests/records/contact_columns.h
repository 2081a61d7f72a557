// The columns of the contact table the tests of the records build in memory.
#pragma once

#include <vector>

#include "records/record.h"

namespace records_testing {

inline const std::vector<records::Column> kContact = {{"ID", records::Kind::Integer}, {"Name", records::Kind::Text},
                                                      {"Notes", records::Kind::Text}, {"Phone", records::Kind::Integer}};

}  // namespace records_testing
