#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace orn::db {

// A value given to a :name parameter: null, a whole number, a number or text.
using ParamValue = std::variant<std::monostate, std::int64_t, double, std::string>;

// Values for the named parameters of SQL statements. Names compare ignoring letter case (national
// letters too) and are stored without the ':'; a name may hold blanks (:"Order No" is
// "Order No"). A parameter that was never given a value is absent, which is not the same as one
// set to null: statements refuse to run with an absent one.
class SqlParams {
  public:
    void setText(std::string_view name, std::string value);
    void setNumber(std::string_view name, double value);
    void setInteger(std::string_view name, std::int64_t value);
    void setNull(std::string_view name);
    void set(std::string_view name, ParamValue value);

    // The value given to `name`, or nullptr when none was.
    const ParamValue* find(std::string_view name) const;
    void remove(std::string_view name);
    void clear() { values_.clear(); }
    bool empty() const { return values_.empty(); }
    // Names that have a value, as first set, in that order.
    std::vector<std::string> names() const;

  private:
    std::vector<std::pair<std::string, ParamValue>> values_;
};

}  // namespace orn::db
