#include "text/zMacroString.h"

#include "text/inifile.h"
#include "text/zstring.h"

namespace orn {

struct TzMacroVarList::ExpandState {
    std::string result;
    bool complete = true;
};

int TzMacroVarList::IndexOf(std::string_view name) const {
    for (std::size_t i = 0; i < vars_.size(); ++i) {
        if (vars_[i]->Name() == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void TzMacroVarList::Changed(int index) {
    if (OnChange) {
        OnChange(*this, index);
    }
}

void TzMacroVarList::AddVar(std::unique_ptr<TzBaseMacroVar> var) {
    if (!var) {
        return;
    }
    int index = IndexOf(var->Name());
    std::string oldValue;
    if (index >= 0) {
        oldValue = vars_[index]->GetValue();
        vars_[index] = std::move(var);
    } else {
        oldValue = DefaultValue;
        vars_.push_back(std::move(var));
        index = Count() - 1;
    }
    indexValid_ = false;
    if (vars_[index]->GetValue() != oldValue) {
        Changed(index);
    }
}

void TzMacroVarList::SetValue(const std::string& name, const std::string& value) {
    int index = IndexOf(name);
    if (index < 0) {
        vars_.push_back(TzBaseMacroVar::Create<TzStringMacroVar>(name, value));
        indexValid_ = false;
        Changed(Count() - 1);
        return;
    }
    if (vars_[index]->GetValue() == value) {
        return;
    }
    vars_[index]->SetValue(value);
    Changed(index);
}

std::string TzMacroVarList::GetValue(std::string_view name) const {
    int index = IndexOf(name);
    return index >= 0 ? vars_[index]->GetValue() : DefaultValue;
}

std::string TzMacroVarList::ValueAt(int index) const {
    if (index < 0 || index >= Count()) {
        return DefaultValue;
    }
    return vars_[index]->GetValue();
}

void TzMacroVarList::SetValueAt(int index, const std::string& value) {
    if (index >= 0 && index < Count()) {
        vars_[index]->SetValue(value);
    }
}

void TzMacroVarList::DeleteVar(std::string_view name) {
    int index = IndexOf(name);
    if (index >= 0) {
        vars_.erase(vars_.begin() + index);
        indexValid_ = false;
    }
}

void TzMacroVarList::RebuildIndex() const {
    byFirstByte_.assign(256, {});
    for (std::size_t i = 0; i < vars_.size(); ++i) {
        const std::string& name = vars_[i]->Name();
        if (!name.empty()) {
            byFirstByte_[static_cast<unsigned char>(name[0])].push_back(static_cast<int>(i));
        }
    }
    indexValid_ = true;
}

const TzBaseMacroVar* TzMacroVarList::MatchAt(std::string_view text, std::size_t pos) const {
    for (int i : byFirstByte_[static_cast<unsigned char>(text[pos])]) {
        const std::string& name = vars_[i]->Name();
        if (static_cast<long long>(name.size()) > MinNameLength &&
            text.compare(pos, name.size(), name) == 0) {
            return vars_[i].get();
        }
    }
    return nullptr;
}

void TzMacroVarList::TokenPass(std::string_view s, int depth, ExpandState& state) const {
    std::string rest(s);
    while (!rest.empty()) {
        std::string token = NextTokenAny(rest, Separators);
        if (static_cast<long long>(token.size()) < MinScanLength) {
            CharMap(token, depth, state);
        } else {
            NameScan(token, depth, state);
        }
    }
}

void TzMacroVarList::NameScan(const std::string& token, int depth, ExpandState& state) const {
    std::string scanned;
    for (std::size_t pos = 0; pos < token.size();) {
        const TzBaseMacroVar* var = MatchAt(token, pos);
        if (var) {
            scanned += var->GetValue();
            pos += var->Name().size();
        } else {
            scanned += token[pos++];
        }
        if (scanned.size() > kMaxExpandedLength) {
            state.complete = false;
            scanned.append(token, pos, std::string::npos);
            break;
        }
    }
    Rescan(token, std::move(scanned), depth, state);
}

void TzMacroVarList::CharMap(const std::string& token, int depth, ExpandState& state) const {
    if (token.empty()) {
        return;
    }
    std::string mapped;
    for (char c : token) {
        int index = IndexOf(std::string_view(&c, 1));
        if (index >= 0) {
            mapped += vars_[index]->GetValue();
        } else {
            mapped += c;
        }
    }
    Rescan(token, std::move(mapped), depth, state);
}

// Appends an unchanged token, or expands a changed one again (bounded, see kMaxExpandDepth).
void TzMacroVarList::Rescan(const std::string& token, std::string&& changed, int depth,
                            ExpandState& state) const {
    bool stop = changed == token || !state.complete || depth >= kMaxExpandDepth ||
                state.result.size() + changed.size() > kMaxExpandedLength;
    if (!stop) {
        TokenPass(changed, depth + 1, state);
        return;
    }
    if (changed != token) {
        state.complete = false;
    }
    if (!state.result.empty() && !Separators.empty()) {
        state.result += Separators[0];
    }
    state.result += changed;
}

bool TzMacroVarList::Expand(std::string_view text, std::string& result) const {
    if (!indexValid_) {
        RebuildIndex();
    }
    ExpandState state;
    TokenPass(text, 0, state);
    result = std::move(state.result);
    return state.complete;
}

std::string TzMacroVarList::Expand(std::string_view text) const {
    std::string result;
    Expand(text, result);
    return result;
}

bool TzMacroVarList::ExpandAll(std::string_view text, std::string& result) const {
    bool complete = Expand(text, result);
    result = ExpandEnvironment(result);
    return complete;
}

std::string TzMacroVarList::ExpandAll(std::string_view text) const {
    std::string result;
    ExpandAll(text, result);
    return result;
}

void TzMacroVarList::ExpandStrings(std::vector<std::string>& lines) const {
    for (std::string& line : lines) {
        line = Expand(line);
    }
}

void TzMacroVarList::LoadFromIni(const std::string& fileName, std::string_view section) {
    for (const ProfileEntry& entry : ReadProfileSection(fileName, section)) {
        std::string name = entry.key;
        if (!name.empty() && (name[0] == '"' || name[0] == '\'')) {
            name.erase(0, 1);
        }
        SetValue(name, entry.value);
    }
}

std::string ExpandEnvironment(std::string_view text) {
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t open = text.find('%', pos);
        if (open == std::string_view::npos) {
            break;
        }
        out.append(text.substr(pos, open - pos));
        std::size_t close = text.find('%', open + 1);
        if (close == std::string_view::npos) {
            out += '%';
            pos = open + 1;
            break;
        }
        std::string name(text.substr(open + 1, close - open - 1));
        out += name.empty() ? std::string("%") : GetEnvVar(name);
        pos = close + 1;
    }
    out.append(text.substr(std::min(pos, text.size())));
    return out;
}

}  // namespace orn
