#pragma once
// Named text variables and the expansion of texts that mention them. A variable's name carries no
// markup: it is found wherever it occurs in a text, so users of a list give their variables
// distinctive names such as "[currentdate]". Names compare exactly, case included; the order of
// creation is the tie-break of every search.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orn {

class TzBaseMacroVar {
  public:
    virtual ~TzBaseMacroVar() = default;
    const std::string& Name() const { return name_; }
    virtual void SetName(const std::string& name) { name_ = name; }
    virtual std::string GetValue() const { return {}; }
    virtual void SetValue(const std::string& value) {}

    // Creates a variable of type T, calling SetName and then SetValue through the virtual
    // functions so that a descendant's SetValue sees the initial value.
    template <class T>
    static std::unique_ptr<T> Create(const std::string& name, const std::string& value) {
        auto var = std::make_unique<T>();
        var->SetName(name);
        var->SetValue(value);
        return var;
    }

  private:
    std::string name_;
};

class TzStringMacroVar : public TzBaseMacroVar {
  public:
    std::string GetValue() const override { return value_; }
    void SetValue(const std::string& value) override { value_ = value; }

  private:
    std::string value_;
};

class TzMacroVarList {
  public:
    using ChangeEvent = std::function<void(TzMacroVarList& list, int index)>;

    // Expansion stops when a text has been re-expanded this many times or has grown past
    // kMaxExpandedLength bytes, so values that name themselves (directly or through other
    // variables) cannot expand for ever. No fixed point takes that long in real use.
    static constexpr int kMaxExpandDepth = 256;
    static constexpr std::size_t kMaxExpandedLength = 1 << 20;

    std::string DefaultValue;  // value of a name that has no variable
    int MinNameLength = 0;     // names must be longer than this to be looked for
    int MinScanLength = 0;     // shorter tokens are mapped character by character
    std::string Separators;    // token separators; the first one also joins the output
    ChangeEvent OnChange;      // told the index of a variable whose value changed

    TzMacroVarList() = default;
    TzMacroVarList(const TzMacroVarList&) = delete;
    TzMacroVarList& operator=(const TzMacroVarList&) = delete;

    int Count() const { return static_cast<int>(vars_.size()); }
    const TzBaseMacroVar& Item(int index) const { return *vars_.at(index); }

    int IndexOf(std::string_view name) const;
    // Takes the variable; replaces one of the same name in place (same index).
    void AddVar(std::unique_ptr<TzBaseMacroVar> var);
    void SetValue(const std::string& name, const std::string& value);
    std::string GetValue(std::string_view name) const;
    // By index: out of range reads DefaultValue and writes nothing; never calls OnChange.
    std::string ValueAt(int index) const;
    void SetValueAt(int index, const std::string& value);
    void DeleteVar(std::string_view name);

    // Replaces variable names by their values until nothing changes. Returns false when the
    // expansion was cut by the bounds above; result then holds the text reached so far.
    bool Expand(std::string_view text, std::string& result) const;
    std::string Expand(std::string_view text) const;
    // Expand, then ExpandEnvironment.
    bool ExpandAll(std::string_view text, std::string& result) const;
    std::string ExpandAll(std::string_view text) const;
    void ExpandStrings(std::vector<std::string>& lines) const;

    // Sets a variable for every entry of the ini section, in file order. A missing file or
    // section sets nothing.
    void LoadFromIni(const std::string& fileName, std::string_view section);

  private:
    struct ExpandState;
    void TokenPass(std::string_view s, int depth, ExpandState& state) const;
    void NameScan(const std::string& token, int depth, ExpandState& state) const;
    void CharMap(const std::string& token, int depth, ExpandState& state) const;
    void Rescan(const std::string& token, std::string&& changed, int depth,
                ExpandState& state) const;
    const TzBaseMacroVar* MatchAt(std::string_view text, std::size_t pos) const;
    void Changed(int index);
    void RebuildIndex() const;

    std::vector<std::unique_ptr<TzBaseMacroVar>> vars_;
    // Indices of the variables by the first byte of their name, in list order.
    mutable std::vector<std::vector<int>> byFirstByte_;
    mutable bool indexValid_ = false;
};

// Replaces %NAME% by the value of the environment variable NAME (empty when undefined); "%%" and
// a "%" without closing partner give one "%". One pass: values are not scanned again.
std::string ExpandEnvironment(std::string_view text);

}  // namespace orn
