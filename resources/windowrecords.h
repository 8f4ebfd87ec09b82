#pragma once

#include <string_view>
#include <vector>

#include "platform/forms/record.h"

namespace kv {

// The design records of the program's seven windows, in one table.
const std::vector<WindowRecord>& windowRecords();
const WindowRecord* findWindowRecord(std::string_view windowName);

// The records as the window model looks them up.
class DesignRecords final : public RecordSource {
  public:
    const WindowRecord* find(std::string_view windowName) const override {
        return findWindowRecord(windowName);
    }
};

}  // namespace kv
