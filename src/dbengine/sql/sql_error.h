#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "dbengine/storage/table.h"

namespace orn::sql {

// A statement the translator cannot accept. what() is the text shown to the user; for syntax
// errors it names the offending token and where it stands (1-based line and column).
class SqlError : public db::EngineError {
  public:
    static constexpr std::size_t noPosition = static_cast<std::size_t>(-1);

    explicit SqlError(const std::string& message, std::size_t position = noPosition,
                      std::string token = {})
        : db::EngineError(message), position_(position), token_(std::move(token)) {}

    std::size_t position() const { return position_; }  // byte offset in the statement, from 0
    const std::string& token() const { return token_; }

  private:
    std::size_t position_;
    std::string token_;
};

// "line 2, column 7" for a byte offset in `text`.
std::string describePosition(std::string_view text, std::size_t position);

}  // namespace orn::sql
