#include "dbengine/sql/resolver.h"

#include <algorithm>
#include <memory>

#include "dbengine/sql/literals.h"
#include "dbengine/sql/sql_error.h"
#include "dbengine/sql/unicode_case.h"

namespace orn::sql {

ValueType valueTypeOf(db::FieldType type) {
    using FT = db::FieldType;
    switch (type) {
        case FT::Alpha:
        case FT::Memo:
        case FT::FmtMemo:
            return ValueType::Text;
        case FT::Date:
            return ValueType::Date;
        case FT::Time:
            return ValueType::Time;
        case FT::Timestamp:
            return ValueType::Timestamp;
        case FT::Logical:
            return ValueType::Boolean;
        case FT::Short:
        case FT::Long:
        case FT::AutoInc:
        case FT::Number:
        case FT::Money:
        case FT::Bcd:
            return ValueType::Number;
        case FT::Blob:
        case FT::Graphic:
        case FT::Ole:
        case FT::Bytes:
            return ValueType::Blob;
    }
    return ValueType::Unknown;
}

std::size_t lookupTable(const TableRef& ref, std::string_view text, SqlSchema& schema,
                        Translation& out) {
    std::optional<SqlTable> table = schema.findTable(ref.reference);
    if (!table)
        throw SqlError(
            "Table '" + ref.reference + "' not found (" + describePosition(text, ref.pos) + ")",
            ref.pos, ref.reference);
    for (std::size_t i = 0; i < out.tables.size(); ++i)
        if (out.tables[i].sqlName == table->sqlName && out.tables[i].file == table->file)
            return i;
    out.tables.push_back(std::move(*table));
    return out.tables.size() - 1;
}

namespace {

bool isCalendar(ValueType t) {
    return t == ValueType::Date || t == ValueType::Time || t == ValueType::Timestamp;
}
bool isTypedTarget(ValueType t) {
    return isCalendar(t) || t == ValueType::Boolean;
}
bool isDateLike(ValueType t) {
    return t == ValueType::Date || t == ValueType::Timestamp;
}

// =, ==, <>, !=, ^=, ~=, <, >, <=, >=
bool isComparison(const std::string& op) {
    if (op.empty() || op.size() > 2)
        return false;
    const char a = op[0];
    const char b = op.size() == 2 ? op[1] : '\0';
    if (a == '<' || a == '>')
        return b == '\0' || b == '=' || (a == '<' && b == '>');
    return (a == '=' && (b == '\0' || b == '=')) ||
           ((a == '!' || a == '^' || a == '~') && b == '=');
}

struct ColumnInfo {
    std::string name;
    ValueType type = ValueType::Unknown;
    std::optional<db::Field> field;  // the table field it comes from unchanged
};

struct ScopeSource {
    std::string written;           // table reference as written; empty for a derived table
    std::size_t table = SIZE_MAX;  // index into Translation::tables
    std::string alias;             // correlation name as written
    std::string emitName;          // what a qualifier naming this source becomes
    std::vector<ColumnInfo> columns;
};

struct Scope {
    Scope* parent = nullptr;
    std::vector<ScopeSource> sources;
};

// The names SQLite gives a record's identity.
bool isRowidName(std::string_view name) {
    return equalsNoCase(name, "rowid") || equalsNoCase(name, "oid") ||
           equalsNoCase(name, "_rowid_");
}

const ColumnInfo* findColumn(const std::vector<ColumnInfo>& cols, std::string_view name) {
    for (const ColumnInfo& c : cols)
        if (equalsNoCase(c.name, name))
            return &c;
    return nullptr;
}

class Resolver {
  public:
    Resolver(std::string_view text, SqlSchema& schema, Translation& out)
        : text_(text), schema_(schema), out_(out) {}

    void statement(Statement& st) {
        switch (st.kind) {
            case Statement::Kind::Select: {
                bool expanded = true;
                const auto cols = select(*st.select, nullptr, &expanded);
                if (expanded)
                    for (const ColumnInfo& c : cols)
                        out_.columns.push_back({c.type, c.field});
                break;
            }
            case Statement::Kind::Insert:
                insert(st);
                break;
            case Statement::Kind::Update:
            case Statement::Kind::Delete:
                updateOrDelete(st);
                break;
            default:
                break;
        }
        numberParameters();
    }

  private:
    // ---- tables and scopes ----
    // A statement naming a table twice in the same spelling asks the schema once.
    std::size_t table(const TableRef& ref) {
        for (const auto& [reference, index] : seen_)
            if (reference == ref.reference)
                return index;
        const std::size_t index = lookupTable(ref, text_, schema_, out_);
        seen_.emplace_back(ref.reference, index);
        return index;
    }

    ScopeSource tableSource(const TableRef& ref, const std::string& alias) {
        ScopeSource s;
        s.written = ref.reference;
        s.table = table(ref);
        const SqlTable& t = out_.tables[s.table];
        s.alias = alias;
        s.emitName = alias.empty() ? t.sqlName : alias;
        s.columns.reserve(t.fields.size());
        for (const db::Field& f : t.fields)
            s.columns.push_back({f.name, valueTypeOf(f.type), f});
        return s;
    }

    void addSources(Source& src, Scope& scope, Scope* outer) {
        switch (src.kind) {
            case Source::Kind::Table: {
                ScopeSource s = tableSource(src.table, src.alias);
                src.emitTable = out_.tables[s.table].sqlName;
                src.emitAlias = src.alias;
                scope.sources.push_back(std::move(s));
                break;
            }
            case Source::Kind::Derived: {
                ScopeSource s;
                s.alias = src.alias;
                s.emitName = src.alias;
                s.columns = select(*src.derived, outer);
                src.emitAlias = src.alias;
                scope.sources.push_back(std::move(s));
                break;
            }
            case Source::Kind::Join:
                addSources(*src.left, scope, outer);
                addSources(*src.right, scope, outer);
                break;
        }
    }

    void resolveJoinConditions(Source& src, Scope& scope) {
        if (src.kind != Source::Kind::Join)
            return;
        resolveJoinConditions(*src.left, scope);
        resolveJoinConditions(*src.right, scope);
        if (src.on)
            expr(*src.on, scope);
    }

    // A qualifier names a source by its correlation name or, for any source, by its file.
    ScopeSource* findQualifier(Scope& scope, std::string_view q) {
        for (ScopeSource& s : scope.sources)
            if (!s.alias.empty() && equalsNoCase(s.alias, q))
                return &s;
        for (ScopeSource& s : scope.sources) {
            if (s.table == SIZE_MAX)
                continue;
            const SqlTable& t = out_.tables[s.table];
            if (equalsNoCase(s.written, q) || equalsNoCase(t.sqlName, q) ||
                equalsNoCase(t.file.filename().string(), q) ||
                equalsNoCase(t.file.stem().string(), q))
                return &s;
        }
        return nullptr;
    }

    void column(Expr& e, Scope& scope) {
        for (Scope* sc = &scope; sc; sc = sc->parent) {
            if (e.qualifier.empty()) {
                for (ScopeSource& s : sc->sources) {
                    if (const ColumnInfo* c = findColumn(s.columns, e.text)) {
                        e.resolvedName = c->name;
                        e.type = c->type;
                        e.field = c->field;
                        return;
                    }
                }
            } else if (ScopeSource* s = findQualifier(*sc, e.qualifier)) {
                e.resolvedQualifier = s->emitName.empty() ? e.qualifier : s->emitName;
                const ColumnInfo* c = findColumn(s->columns, e.text);
                // a table's fields are all known: say so in the user's words
                if (!c && s->table != SIZE_MAX && !isRowidName(e.text))
                    throw SqlError("Field '" + e.qualifier + "." + e.text + "' not found (" +
                                       describePosition(text_, e.pos) + ")",
                                   e.pos, e.text);
                e.resolvedName = c ? c->name : e.text;
                e.type = c ? c->type : ValueType::Unknown;
                if (c)
                    e.field = c->field;
                return;
            }
        }
        e.resolvedQualifier = e.qualifier;
        e.resolvedName = e.text;
    }

    // ---- SELECT ----
    // `expanded`, when given, is cleared when a star named no known source (the result columns
    // are then not all known).
    std::vector<ColumnInfo> select(Select& sel, Scope* outer, bool* expanded = nullptr) {
        std::vector<std::unique_ptr<Scope>> scopes;
        std::vector<ColumnInfo> outputs;
        bool allStarsKnown = true;
        for (std::size_t k = 0; k < sel.cores.size(); ++k) {
            SelectCore& core = sel.cores[k];
            auto scope = std::make_unique<Scope>();
            scope->parent = outer;
            for (SourcePtr& src : core.from)
                addSources(*src, *scope, outer);
            for (SourcePtr& src : core.from)
                resolveJoinConditions(*src, *scope);
            std::vector<ColumnInfo> coreOut = items(core, *scope, allStarsKnown);
            if (core.where)
                expr(*core.where, *scope);
            for (ExprPtr& g : core.groupBy)
                expr(*g, *scope);
            if (core.having)
                expr(*core.having, *scope);
            if (k == 0) {
                outputs = std::move(coreOut);
            } else {
                // A compound's column has the type its branches agree on; a field only when
                // every branch takes it from the same kind of field.
                for (std::size_t i = 0; i < outputs.size() && i < coreOut.size(); ++i) {
                    if (outputs[i].type == ValueType::Unknown ||
                        (outputs[i].type == ValueType::Text && isTypedTarget(coreOut[i].type)))
                        outputs[i].type = coreOut[i].type;
                    if (outputs[i].field &&
                        (!coreOut[i].field || coreOut[i].field->type != outputs[i].field->type))
                        outputs[i].field.reset();
                }
            }
            scopes.push_back(std::move(scope));
        }
        if (expanded)
            *expanded = allStarsKnown;
        // Literals of every branch take the type of their column (dates, times, booleans).
        if (sel.cores.size() > 1)
            for (SelectCore& core : sel.cores)
                coerceItems(core, outputs);
        const bool compound = sel.cores.size() > 1;
        for (OrderItem& item : sel.orderBy) {
            Expr& e = *item.expr;
            if (e.kind == ExprKind::Column && e.qualifier.empty()) {
                if (const ColumnInfo* c = findColumn(outputs, e.text)) {
                    e.resolvedName = c->name;
                    e.type = c->type;
                    continue;
                }
            }
            expr(e, *scopes.front());
            if (compound && e.kind == ExprKind::Column)
                e.resolvedQualifier.clear();
        }
        Scope empty;
        empty.parent = outer;
        if (sel.limit)
            expr(*sel.limit, empty);
        if (sel.offset)
            expr(*sel.offset, empty);
        return outputs;
    }

    // The select list's items take the types of `columns` where they are literals; only for lists
    // without stars, whose items are the columns one to one.
    void coerceItems(SelectCore& core, const std::vector<ColumnInfo>& columns) {
        for (const SelectItem& item : core.items)
            if (item.star)
                return;
        for (std::size_t i = 0; i < core.items.size() && i < columns.size(); ++i)
            coerce(*core.items[i].expr, columns[i].type, false);
    }

    std::vector<ColumnInfo> items(SelectCore& core, Scope& scope, bool& allStarsKnown) {
        std::vector<ColumnInfo> out;
        for (SelectItem& item : core.items) {
            if (item.star) {
                if (item.starQualifier.empty()) {
                    for (const ScopeSource& s : scope.sources)
                        out.insert(out.end(), s.columns.begin(), s.columns.end());
                } else if (ScopeSource* s = findQualifier(scope, item.starQualifier)) {
                    if (!s->emitName.empty())
                        item.starQualifier = s->emitName;
                    out.insert(out.end(), s->columns.begin(), s->columns.end());
                } else {
                    allStarsKnown = false;
                }
                continue;
            }
            Expr& e = *item.expr;
            expr(e, scope);
            if (!item.hasAlias && e.kind != ExprKind::Column) {
                item.alias = std::string(text_.substr(e.pos, e.end - e.pos));
                item.hasAlias = item.generatedAlias = true;
            }
            out.push_back({item.hasAlias ? item.alias : e.resolvedName, e.type, e.field});
        }
        return out;
    }

    // ---- expressions ----
    static Expr& unparen(Expr& e) {
        Expr* p = &e;
        while (p->kind == ExprKind::Paren && p->args.size() == 1)
            p = p->args[0].get();
        return *p;
    }

    [[noreturn]] void badLiteral(const Expr& e, const char* what) {
        throw SqlError("Invalid " + std::string(what) + " value '" + e.text + "' at " +
                           describePosition(text_, e.pos),
                       e.pos, e.text);
    }

    // A string literal (or parameter) meeting a value of type `target` takes that type. Where
    // values only meet in one column (CASE arms, COALESCE, UNION branches) a literal that is no
    // such value stays text (`strict` false); elsewhere it is an error.
    void coerce(Expr& outer, ValueType target, bool strict = true) {
        Expr& e = unparen(outer);
        if (e.kind == ExprKind::Parameter) {
            if (e.type == ValueType::Unknown)
                e.type = target;
            return;
        }
        if (!isTypedTarget(target))
            return;
        if (e.kind == ExprKind::TypedLiteral) {
            if (e.type == ValueType::Date && target == ValueType::Timestamp) {
                e.emitted = quoteString(*dateToIso(e.text) + " 00:00:00");
                e.type = target;
            }
            return;
        }
        if (e.kind != ExprKind::String)
            return;
        switch (target) {
            case ValueType::Date: {
                auto iso = dateToIso(e.text);
                if (!iso) {
                    // a timestamp at midnight still names a day
                    const auto ts = timestampToIso(e.text);
                    if (ts && ts->ends_with(" 00:00:00"))
                        iso = ts->substr(0, 10);
                }
                if (!iso && !strict)
                    return;
                if (!iso)
                    badLiteral(e, "date");
                e.emitted = quoteString(*iso);
                break;
            }
            case ValueType::Time: {
                const auto iso = timeToIso(e.text);
                if (!iso && !strict)
                    return;
                if (!iso)
                    badLiteral(e, "time");
                e.emitted = quoteString(*iso);
                break;
            }
            case ValueType::Timestamp: {
                const auto iso = timestampToIso(e.text);
                if (!iso && !strict)
                    return;
                if (!iso)
                    badLiteral(e, "timestamp");
                e.emitted = quoteString(*iso);
                break;
            }
            case ValueType::Boolean: {
                const auto b = booleanFromText(e.text);
                if (!b && !strict)
                    return;
                if (!b)
                    badLiteral(e, "boolean");
                e.emitted = *b ? "1" : "0";
                break;
            }
            default:
                return;
        }
        e.type = target;
    }

    void compareTypes(Expr& a, Expr& b) {
        if (a.type != ValueType::Unknown)
            coerce(b, a.type);
        if (b.type != ValueType::Unknown)
            coerce(a, b.type);
        padSpace(a, b);
        padSpace(b, a);
    }

    // Alpha fields read without their trailing blanks; a text literal compared with one loses its
    // trailing blanks too, so that blanks at the end never decide a comparison.
    static void padSpace(Expr& field, Expr& literal) {
        const Expr& f = unparen(field);
        Expr& l = unparen(literal);
        if (!f.field || f.field->type != db::FieldType::Alpha || l.kind != ExprKind::String ||
            !l.emitted.empty() || l.text.empty() || l.text.back() != ' ')
            return;
        std::string trimmed = l.text;
        while (!trimmed.empty() && trimmed.back() == ' ')
            trimmed.pop_back();
        l.emitted = quoteString(trimmed);
    }

    static ValueType castType(const std::string& word) {
        if (word == "DATE")
            return ValueType::Date;
        if (word == "TIME")
            return ValueType::Time;
        if (word == "TIMESTAMP")
            return ValueType::Timestamp;
        if (word == "BOOLEAN")
            return ValueType::Boolean;
        if (word.rfind("CHAR", 0) == 0 || word == "VARCHAR" || word.rfind("CHARACTER", 0) == 0)
            return ValueType::Text;
        return ValueType::Number;
    }

    void expr(Expr& e, Scope& scope) {
        for (ExprPtr& a : e.args)
            expr(*a, scope);
        switch (e.kind) {
            case ExprKind::Number:
                e.type = ValueType::Number;
                break;
            case ExprKind::String:
                e.type = ValueType::Text;
                break;
            case ExprKind::Boolean:
                e.type = ValueType::Boolean;
                break;
            case ExprKind::TypedLiteral:
                typedLiteral(e);
                break;
            case ExprKind::Keyword:
                e.type = e.text == "CURRENT_DATE"   ? ValueType::Date
                         : e.text == "CURRENT_TIME" ? ValueType::Time
                                                    : ValueType::Timestamp;
                break;
            case ExprKind::Column:
                column(e, scope);
                break;
            case ExprKind::Parameter:
                params_.push_back(&e);
                break;
            case ExprKind::Unary:
                e.type = e.op == "NOT" ? ValueType::Boolean : ValueType::Number;
                break;
            case ExprKind::Binary:
                binary(e);
                break;
            case ExprKind::Quantified: {
                const auto cols = select(*e.select, &scope);
                if (!cols.empty())
                    coerce(*e.args[0], cols[0].type);
                e.type = ValueType::Boolean;
                break;
            }
            case ExprKind::Between:
                for (std::size_t k = 1; k < e.args.size(); ++k)
                    compareTypes(*e.args[0], *e.args[k]);
                e.type = ValueType::Boolean;
                break;
            case ExprKind::InList:
                for (std::size_t k = 1; k < e.args.size(); ++k) {
                    coerce(*e.args[k], e.args[0]->type);
                    padSpace(*e.args[0], *e.args[k]);
                }
                e.type = ValueType::Boolean;
                break;
            case ExprKind::InSelect:
            case ExprKind::Exists: {
                const auto cols = select(*e.select, &scope);
                if (e.kind == ExprKind::InSelect && !cols.empty())
                    coerce(*e.args[0], cols[0].type);
                e.type = ValueType::Boolean;
                break;
            }
            case ExprKind::Subquery: {
                const auto cols = select(*e.select, &scope);
                if (!cols.empty())
                    e.type = cols[0].type;
                break;
            }
            case ExprKind::Like:
            case ExprKind::IsNull:
                e.type = ValueType::Boolean;
                break;
            case ExprKind::Is:
                compareTypes(*e.args[0], *e.args[1]);
                e.type = ValueType::Boolean;
                break;
            case ExprKind::Paren:
                if (e.args.size() == 1) {
                    e.type = e.args[0]->type;
                    e.field = e.args[0]->field;
                }
                break;
            case ExprKind::Function:
                function(e);
                break;
            case ExprKind::Case:
                caseExpr(e);
                break;
            case ExprKind::Cast:
                e.type = castType(e.word);
                break;
            case ExprKind::Trim:
            case ExprKind::Substring:
                e.type = ValueType::Text;
                break;
            case ExprKind::Extract: {
                Expr& a = unparen(*e.args[0]);
                if (a.kind == ExprKind::String) {
                    auto iso = timestampToIso(a.text);
                    if (!iso)
                        iso = timeToIso(a.text);
                    if (!iso)
                        badLiteral(a, "date");
                    a.emitted = quoteString(*iso);
                }
                e.type = ValueType::Number;
                break;
            }
            case ExprKind::Collate:
                e.type = e.args[0]->type;
                e.field = e.args[0]->field;
                break;
            case ExprKind::Null:
            case ExprKind::Star:
                break;
        }
    }

    void typedLiteral(Expr& e) {
        std::optional<std::string> iso;
        if (e.word == "DATE") {
            iso = dateToIso(e.text);
            e.type = ValueType::Date;
        } else if (e.word == "TIME") {
            iso = timeToIso(e.text);
            e.type = ValueType::Time;
        } else {
            iso = timestampToIso(e.text);
            e.type = ValueType::Timestamp;
        }
        if (!iso)
            badLiteral(e, e.word == "DATE" ? "date" : e.word == "TIME" ? "time" : "timestamp");
        e.emitted = quoteString(*iso);
    }

    void binary(Expr& e) {
        Expr& l = *e.args[0];
        Expr& r = *e.args[1];
        if (isComparison(e.op)) {
            compareTypes(l, r);
            e.type = ValueType::Boolean;
        } else if (e.op == "AND" || e.op == "OR") {
            e.type = ValueType::Boolean;
        } else if (e.op == "||") {
            e.type = ValueType::Text;
        } else if (e.op == "+" || e.op == "-") {
            if (e.op == "-" && isDateLike(l.type) && unparen(r).kind == ExprKind::String)
                coerce(r, l.type);
            // a literal on the left of a difference, and times like dates
            if (e.op == "-" && isCalendar(r.type) && unparen(l).kind == ExprKind::String)
                coerce(l, r.type, false);
            if (e.op == "-" && l.type == ValueType::Time && unparen(r).kind == ExprKind::String)
                coerce(r, l.type, false);
            if (l.type == ValueType::Time || r.type == ValueType::Time) {
                e.type = l.type == r.type && e.op == "-" ? ValueType::Number
                         : l.type == ValueType::Time     ? ValueType::Time
                                                         : ValueType::Number;
            } else if (isDateLike(l.type) && isDateLike(r.type) && e.op == "-")
                e.type = ValueType::Number;
            else if (isDateLike(l.type) && !isDateLike(r.type))
                e.type = l.type;
            else if (isDateLike(r.type) && e.op == "+")
                e.type = r.type;
            else
                e.type = ValueType::Number;
        } else {
            e.type = ValueType::Number;
        }
    }

    void function(Expr& e) {
        std::string name = utf8Upper(e.text);
        if ((name == "MIN" || name == "MAX") && e.args.size() == 1) {
            e.type = e.args[0]->type;
            e.field = e.args[0]->field;
        } else if (name == "COALESCE" || name == "IFNULL" || name == "NULLIF" ||
                   ((name == "MIN" || name == "MAX") && e.args.size() > 1)) {
            // the arguments meet each other: a literal takes the type of a typed argument
            for (const ExprPtr& a : e.args)
                if (e.type == ValueType::Unknown || e.type == ValueType::Text)
                    if (a->type != ValueType::Unknown)
                        e.type = a->type;
            for (ExprPtr& a : e.args)
                coerce(*a, e.type, false);
        } else if (name == "COUNT" || name == "SUM" || name == "AVG" || name == "TOTAL" ||
                   name == "LENGTH" || name == "ABS" || name == "ROUND")
            e.type = ValueType::Number;
        else if (name == "UPPER" || name == "LOWER" || name == "TRIM" || name == "LTRIM" ||
                 name == "RTRIM" || name == "SUBSTR" || name == "REPLACE")
            e.type = ValueType::Text;
        else if (name == "DATE")
            e.type = ValueType::Date;
        else if (name == "DATETIME")
            e.type = ValueType::Timestamp;
        else if (name == "TIME")
            e.type = ValueType::Time;
    }

    void caseExpr(Expr& e) {
        std::size_t k = e.hasOperand ? 1 : 0;
        const std::size_t pairsEnd = e.args.size() - (e.hasElse ? 1 : 0);
        ValueType result = ValueType::Unknown;
        std::vector<Expr*> arms;
        for (; k + 1 < pairsEnd; k += 2) {
            if (e.hasOperand)
                compareTypes(*e.args[0], *e.args[k]);
            arms.push_back(e.args[k + 1].get());
        }
        if (e.hasElse)
            arms.push_back(e.args.back().get());
        // The arms meet in one column: a typed arm gives literals in the others its type.
        for (const Expr* a : arms)
            if (result == ValueType::Unknown ||
                (result == ValueType::Text && a->type != ValueType::Unknown))
                result = a->type;
        for (Expr* a : arms)
            coerce(*a, result, false);
        e.type = result;
    }

    // ---- DML ----
    void insert(Statement& st) {
        const std::size_t idx = table(st.table);
        std::size_t given = 0;
        if (!st.rows.empty())
            given = st.rows.front().size();
        Scope empty;
        if (st.select)
            given = select(*st.select, nullptr).size();
        // only now: resolving the select may have grown out_.tables
        const SqlTable& t = out_.tables[idx];
        st.emitTable = t.sqlName;
        std::vector<ValueType> types;
        if (st.columns.empty() && given > t.fields.size())
            throw SqlError("INSERT gives " + std::to_string(given) + " values, but table " +
                           st.table.reference + " has only " + std::to_string(t.fields.size()) +
                           " fields");
        if (st.columns.empty()) {
            // Fewer values than fields: the first fields take them, the rest stay blank.
            if (given < t.fields.size())
                for (std::size_t k = 0; k < given; ++k)
                    st.columns.push_back(t.fields[k].name);
            for (const db::Field& f : t.fields)
                types.push_back(valueTypeOf(f.type));
        } else {
            for (std::string& c : st.columns) {
                ValueType type = ValueType::Unknown;
                for (const db::Field& f : t.fields) {
                    if (equalsNoCase(f.name, c)) {
                        c = f.name;
                        type = valueTypeOf(f.type);
                        break;
                    }
                }
                types.push_back(type);
            }
        }
        for (auto& row : st.rows) {
            for (std::size_t k = 0; k < row.size(); ++k) {
                expr(*row[k], empty);
                if (k < types.size())
                    coerce(*row[k], types[k]);
            }
        }
        if (st.select) {
            // every branch of a compound SELECT feeds the same fields
            for (SelectCore& core : st.select->cores)
                for (std::size_t k = 0; k < core.items.size() && k < types.size(); ++k)
                    if (core.items[k].expr)
                        coerce(*core.items[k].expr, types[k]);
        }
    }

    void updateOrDelete(Statement& st) {
        Scope scope;
        scope.sources.push_back(tableSource(st.table, st.alias));
        const ScopeSource& s = scope.sources.front();
        st.emitTable = out_.tables[s.table].sqlName;
        for (Assignment& a : st.assignments) {
            expr(*a.value, scope);
            if (const ColumnInfo* c = findColumn(s.columns, a.column)) {
                a.column = c->name;
                coerce(*a.value, c->type);
            }
            a.qualifier.clear();
        }
        if (st.where)
            expr(*st.where, scope);
    }

    // Parameters are numbered in the order they appear in the text; a repeated name reuses
    // its number.
    void numberParameters() {
        std::sort(params_.begin(), params_.end(),
                  [](const Expr* a, const Expr* b) { return a->pos < b->pos; });
        for (Expr* p : params_) {
            int found = 0;
            if (!p->positional || !p->text.empty()) {
                for (std::size_t k = 0; k < out_.parameters.size(); ++k) {
                    if (!out_.parameters[k].name.empty() &&
                        equalsNoCase(out_.parameters[k].name, p->text)) {
                        found = static_cast<int>(k) + 1;
                        break;
                    }
                }
            }
            if (!found) {
                out_.parameters.push_back({p->text, ValueType::Unknown});
                found = static_cast<int>(out_.parameters.size());
            }
            p->number = found;
            TranslatedParameter& tp = out_.parameters[found - 1];
            if (tp.type == ValueType::Unknown)
                tp.type = p->type;
        }
    }

    std::string_view text_;
    SqlSchema& schema_;
    Translation& out_;
    std::vector<Expr*> params_;
    std::vector<std::pair<std::string, std::size_t>> seen_;
};

}  // namespace

void resolveStatement(Statement& st, std::string_view text, SqlSchema& schema, Translation& out) {
    Resolver(text, schema, out).statement(st);
}

}  // namespace orn::sql
