#include "dbengine/sql/emitter.h"

#include "dbengine/sql/translator.h"

namespace orn::sql {

namespace {

bool isDateLike(ValueType t) {
    return t == ValueType::Date || t == ValueType::Timestamp;
}
bool isNotEqual(const std::string& op) {
    return op == "<>" || op == "!=" || op == "^=" || op == "~=";
}
bool isEqual(const std::string& op) {
    return op == "=" || op == "==";
}

const Expr& unparen(const Expr& e) {
    const Expr* p = &e;
    while (p->kind == ExprKind::Paren && p->args.size() == 1)
        p = p->args[0].get();
    return *p;
}

// The value that quantified comparisons name in their rewritten subquery.
constexpr const char* quantifiedColumn = "lsql_v";

class Emitter {
  public:
    std::string statement(const Statement& st) {
        switch (st.kind) {
            case Statement::Kind::Select:
                select(*st.select);
                break;
            case Statement::Kind::Insert:
                insert(st);
                break;
            case Statement::Kind::Update:
                update(st);
                break;
            case Statement::Kind::Delete:
                out_ += "DELETE FROM ";
                table(st.emitTable, st.alias);
                if (st.where) {
                    out_ += " WHERE ";
                    expr(*st.where);
                }
                break;
            default:
                break;
        }
        return std::move(out_);
    }

  private:
    void ident(std::string_view name) { out_ += quoteIdentifier(name); }

    void table(const std::string& name, const std::string& alias) {
        ident(name);
        if (!alias.empty()) {
            out_ += " AS ";
            ident(alias);
        }
    }

    void list(const std::vector<ExprPtr>& items, std::size_t from = 0) {
        for (std::size_t k = from; k < items.size(); ++k) {
            if (k > from)
                out_ += ", ";
            expr(*items[k]);
        }
    }

    // ---- SELECT ----
    void select(const Select& sel, const char* firstItemAlias = nullptr) {
        for (std::size_t k = 0; k < sel.cores.size(); ++k) {
            if (k > 0) {
                out_ += ' ';
                out_ += sel.compoundOps[k - 1];
                out_ += ' ';
            }
            core(sel.cores[k], k == 0 ? firstItemAlias : nullptr);
        }
        if (!sel.orderBy.empty()) {
            out_ += " ORDER BY ";
            for (std::size_t k = 0; k < sel.orderBy.size(); ++k) {
                if (k)
                    out_ += ", ";
                expr(*sel.orderBy[k].expr);
                if (!sel.orderBy[k].direction.empty())
                    out_ += ' ' + sel.orderBy[k].direction;
                if (!sel.orderBy[k].nulls.empty())
                    out_ += ' ' + sel.orderBy[k].nulls;
            }
        }
        if (sel.limit) {
            out_ += " LIMIT ";
            expr(*sel.limit);
        }
        if (sel.offset) {
            out_ += " OFFSET ";
            expr(*sel.offset);
        }
    }

    void core(const SelectCore& c, const char* firstItemAlias) {
        out_ += c.distinct ? "SELECT DISTINCT " : "SELECT ";
        for (std::size_t k = 0; k < c.items.size(); ++k) {
            const SelectItem& item = c.items[k];
            if (k)
                out_ += ", ";
            if (item.star) {
                if (!item.starQualifier.empty()) {
                    ident(item.starQualifier);
                    out_ += '.';
                }
                out_ += '*';
                continue;
            }
            expr(*item.expr);
            if (k == 0 && firstItemAlias) {
                out_ += " AS ";
                ident(firstItemAlias);
            } else if (item.hasAlias) {
                out_ += " AS ";
                ident(item.alias);
            }
        }
        if (!c.from.empty()) {
            out_ += " FROM ";
            for (std::size_t k = 0; k < c.from.size(); ++k) {
                if (k)
                    out_ += ", ";
                source(*c.from[k]);
            }
        }
        if (c.where) {
            out_ += " WHERE ";
            expr(*c.where);
        }
        if (!c.groupBy.empty()) {
            out_ += " GROUP BY ";
            list(c.groupBy);
        }
        if (c.having) {
            out_ += " HAVING ";
            expr(*c.having);
        }
    }

    void source(const Source& s) {
        switch (s.kind) {
            case Source::Kind::Table:
                table(s.emitTable, s.emitAlias);
                break;
            case Source::Kind::Derived:
                out_ += '(';
                select(*s.derived);
                out_ += ')';
                if (!s.emitAlias.empty()) {
                    out_ += " AS ";
                    ident(s.emitAlias);
                }
                break;
            case Source::Kind::Join:
                if (s.parenthesized)
                    out_ += '(';
                source(*s.left);
                out_ += ' ' + s.joinOp + ' ';
                source(*s.right);
                if (s.on) {
                    out_ += " ON ";
                    expr(*s.on);
                } else if (!s.usingColumns.empty()) {
                    out_ += " USING (";
                    for (std::size_t k = 0; k < s.usingColumns.size(); ++k) {
                        if (k)
                            out_ += ", ";
                        ident(s.usingColumns[k]);
                    }
                    out_ += ')';
                }
                if (s.parenthesized)
                    out_ += ')';
                break;
        }
    }

    // ---- DML ----
    void insert(const Statement& st) {
        out_ += "INSERT INTO ";
        ident(st.emitTable);
        if (!st.columns.empty()) {
            out_ += " (";
            for (std::size_t k = 0; k < st.columns.size(); ++k) {
                if (k)
                    out_ += ", ";
                ident(st.columns[k]);
            }
            out_ += ')';
        }
        if (st.select) {
            out_ += ' ';
            select(*st.select);
            return;
        }
        out_ += " VALUES ";
        for (std::size_t r = 0; r < st.rows.size(); ++r) {
            if (r)
                out_ += ", ";
            out_ += '(';
            list(st.rows[r]);
            out_ += ')';
        }
    }

    void update(const Statement& st) {
        out_ += "UPDATE ";
        table(st.emitTable, st.alias);
        out_ += " SET ";
        for (std::size_t k = 0; k < st.assignments.size(); ++k) {
            if (k)
                out_ += ", ";
            ident(st.assignments[k].column);
            out_ += " = ";
            expr(*st.assignments[k].value);
        }
        if (st.where) {
            out_ += " WHERE ";
            expr(*st.where);
        }
    }

    // ---- expressions ----
    void expr(const Expr& e) {
        switch (e.kind) {
            case ExprKind::Number:
            case ExprKind::Keyword:
            case ExprKind::Boolean:
                out_ += e.text;
                break;
            case ExprKind::String:
                out_ += e.emitted.empty() ? quoteString(e.text) : e.emitted;
                break;
            case ExprKind::TypedLiteral:
                out_ += e.emitted;
                break;
            case ExprKind::Null:
                out_ += "NULL";
                break;
            case ExprKind::Star:
                out_ += '*';
                break;
            case ExprKind::Column:
                if (!e.resolvedQualifier.empty()) {
                    ident(e.resolvedQualifier);
                    out_ += '.';
                }
                ident(e.resolvedName);
                break;
            case ExprKind::Parameter:
                out_ += '?' + std::to_string(e.number);
                break;
            case ExprKind::Unary:
                unary(e);
                break;
            case ExprKind::Binary:
                binary(e);
                break;
            case ExprKind::Quantified:
                quantified(e);
                break;
            case ExprKind::Between:
                expr(*e.args[0]);
                out_ += e.negated ? " NOT BETWEEN " : " BETWEEN ";
                expr(*e.args[1]);
                out_ += " AND ";
                expr(*e.args[2]);
                break;
            case ExprKind::InList:
                expr(*e.args[0]);
                out_ += e.negated ? " NOT IN (" : " IN (";
                list(e.args, 1);
                out_ += ')';
                break;
            case ExprKind::InSelect:
                expr(*e.args[0]);
                out_ += e.negated ? " NOT IN (" : " IN (";
                select(*e.select);
                out_ += ')';
                break;
            case ExprKind::Like:
                expr(*e.args[0]);
                out_ += e.negated ? " NOT " : " ";
                out_ += e.op + ' ';
                expr(*e.args[1]);
                if (e.args.size() > 2) {
                    out_ += " ESCAPE ";
                    expr(*e.args[2]);
                }
                break;
            case ExprKind::IsNull:
                expr(*e.args[0]);
                out_ += e.negated ? " IS NOT NULL" : " IS NULL";
                break;
            case ExprKind::Is:
                expr(*e.args[0]);
                out_ += e.negated ? " IS NOT " : " IS ";
                expr(*e.args[1]);
                break;
            case ExprKind::Exists:
                out_ += e.negated ? "NOT EXISTS (" : "EXISTS (";
                select(*e.select);
                out_ += ')';
                break;
            case ExprKind::Subquery:
                out_ += '(';
                select(*e.select);
                out_ += ')';
                break;
            case ExprKind::Paren:
                out_ += '(';
                list(e.args);
                out_ += ')';
                break;
            case ExprKind::Function:
                out_ += e.text;
                out_ += '(';
                if (e.distinct)
                    out_ += "DISTINCT ";
                list(e.args);
                out_ += ')';
                break;
            case ExprKind::Case:
                caseExpr(e);
                break;
            case ExprKind::Cast:
                cast(e);
                break;
            case ExprKind::Trim:
                out_ += e.word == "LEADING" ? "ltrim(" : e.word == "TRAILING" ? "rtrim(" : "trim(";
                list(e.args);
                out_ += ')';
                break;
            case ExprKind::Substring:
                out_ += "substr(";
                list(e.args);
                out_ += ')';
                break;
            case ExprKind::Extract:
                extract(e);
                break;
            case ExprKind::Collate:
                expr(*e.args[0]);
                out_ += " COLLATE ";
                ident(e.text);
                break;
        }
    }

    void unary(const Expr& e) {
        if (e.op == "NOT") {
            out_ += "NOT ";
            expr(*e.args[0]);
            return;
        }
        out_ += e.op;
        const std::size_t at = out_.size();
        expr(*e.args[0]);
        // "- -1" must not turn into the comment "--1"
        if (at < out_.size() && (out_[at] == '-' || out_[at] == '+'))
            out_.insert(at, 1, ' ');
    }

    void binary(const Expr& e) {
        const Expr& l = *e.args[0];
        const Expr& r = *e.args[1];
        // field = NULL means IS NULL
        if (isEqual(e.op) || isNotEqual(e.op)) {
            const bool lNull = unparen(l).kind == ExprKind::Null;
            const bool rNull = unparen(r).kind == ExprKind::Null;
            if (lNull != rNull) {
                expr(lNull ? r : l);
                out_ += isEqual(e.op) ? " IS NULL" : " IS NOT NULL";
                return;
            }
        }
        if (e.op == "+" || e.op == "-") {
            if (dateArithmetic(e, l, r))
                return;
        }
        expr(l);
        out_ += ' ';
        out_ += isNotEqual(e.op) ? "<>" : e.op;
        out_ += ' ';
        expr(r);
    }

    // date ± days and date − date
    bool dateArithmetic(const Expr& e, const Expr& l, const Expr& r) {
        const bool ld = isDateLike(l.type), rd = isDateLike(r.type);
        const auto days = [&](const Expr& date, const Expr& count, bool subtract) {
            out_ += date.type == ValueType::Date ? "date(" : "datetime(";
            expr(date);
            out_ += subtract ? ", (-(" : ", ((";
            expr(count);
            out_ += ")) || ' days')";
        };
        if (ld && rd && e.op == "-") {
            const bool whole = l.type == ValueType::Date && r.type == ValueType::Date;
            out_ += whole ? "CAST(julianday(" : "(julianday(";
            expr(l);
            out_ += ") - julianday(";
            expr(r);
            out_ += whole ? ") AS INTEGER)" : "))";
            return true;
        }
        const auto isCount = [](ValueType t) {
            return t == ValueType::Number || t == ValueType::Unknown;
        };
        // times: a difference in whole seconds, a time plus or minus seconds
        if (l.type == ValueType::Time && r.type == ValueType::Time && e.op == "-") {
            out_ += "CAST(round((julianday('2000-01-01 ' || (";
            expr(l);
            out_ += ")) - julianday('2000-01-01 ' || (";
            expr(r);
            out_ += "))) * 86400) AS INTEGER)";
            return true;
        }
        if (l.type == ValueType::Time && isCount(r.type)) {
            out_ += "time(";
            expr(l);
            out_ += e.op == "-" ? ", (-(" : ", ((";
            expr(r);
            out_ += ")) || ' seconds')";
            return true;
        }
        if (ld && isCount(r.type)) {
            days(l, r, e.op == "-");
            return true;
        }
        if (rd && isCount(l.type) && e.op == "+") {
            days(r, l, false);
            return true;
        }
        return false;
    }

    void quantified(const Expr& e) {
        const Expr& l = *e.args[0];
        const bool all = e.word == "ALL";
        if ((!all && isEqual(e.op)) || (all && isNotEqual(e.op))) {
            expr(l);
            out_ += all ? " NOT IN (" : " IN (";
            select(*e.select);
            out_ += ')';
            return;
        }
        // Three-valued, as SQL has it: ALL is false when some comparison is false, else unknown
        // when some is unknown (a NULL on either side), else true (also for no rows); ANY is
        // true when some comparison is true, else unknown when some is unknown, else false.
        const std::string op = isNotEqual(e.op) ? "<>" : e.op;
        const auto rowsWhere = [&](const char* before, const char* after) {
            out_ += "EXISTS (SELECT 1 FROM (";
            select(*e.select, quantifiedColumn);
            out_ += ") WHERE ";
            out_ += before;
            out_ += '(';
            expr(l);
            out_ += ' ' + op + ' ';
            ident(quantifiedColumn);
            out_ += ')';
            out_ += after;
            out_ += ')';
        };
        out_ += "(CASE WHEN ";
        if (all) {
            rowsWhere("NOT ", "");
            out_ += " THEN 0 WHEN ";
            rowsWhere("", " IS NULL");
            out_ += " THEN NULL ELSE 1 END)";
        } else {
            rowsWhere("", "");
            out_ += " THEN 1 WHEN ";
            rowsWhere("", " IS NULL");
            out_ += " THEN NULL ELSE 0 END)";
        }
    }

    void caseExpr(const Expr& e) {
        out_ += "CASE";
        std::size_t k = 0;
        if (e.hasOperand) {
            out_ += ' ';
            expr(*e.args[k++]);
        }
        const std::size_t pairsEnd = e.args.size() - (e.hasElse ? 1 : 0);
        for (; k + 1 < pairsEnd; k += 2) {
            out_ += " WHEN ";
            expr(*e.args[k]);
            out_ += " THEN ";
            expr(*e.args[k + 1]);
        }
        if (e.hasElse) {
            out_ += " ELSE ";
            expr(*e.args.back());
        }
        out_ += " END";
    }

    void cast(const Expr& e) {
        const Expr& a = *e.args[0];
        const std::string& w = e.word;
        if (w == "CHAR" || w == "CHARACTER" || w == "VARCHAR" || w == "CHARACTER VARYING" ||
            w == "CHAR VARYING") {
            if (e.size > 0)
                out_ += "substr(";
            if (a.type == ValueType::Boolean) {
                out_ += "CASE WHEN ";
                expr(a);
                out_ += " IS NULL THEN NULL WHEN ";
                expr(a);
                out_ += " THEN 'T' ELSE 'F' END";
            } else {
                out_ += "CAST(";
                expr(a);
                out_ += " AS TEXT)";
            }
            if (e.size > 0)
                out_ += ", 1, " + std::to_string(e.size) + ")";
            return;
        }
        const char* fn = w == "DATE"        ? "lsql_date("
                         : w == "TIME"      ? "lsql_time("
                         : w == "TIMESTAMP" ? "lsql_timestamp("
                         : w == "BOOLEAN"   ? "lsql_boolean("
                                            : nullptr;
        if (fn) {
            out_ += fn;
            expr(a);
            out_ += ')';
            return;
        }
        std::string target;
        if (w == "SMALLINT" || w == "INTEGER" || w == "INT")
            target = "INTEGER";
        else if (w == "FLOAT" || w == "DOUBLE" || w == "DOUBLE PRECISION" || w == "REAL" ||
                 w == "NUMERIC" || w == "DECIMAL" || w == "MONEY")
            target = "REAL";
        if (target.empty()) {
            out_ += "CAST(";
            expr(a);
            out_ += " AS " + w;
            if (e.size >= 0) {
                out_ += '(' + std::to_string(e.size);
                if (e.scale >= 0)
                    out_ += ", " + std::to_string(e.scale);
                out_ += ')';
            }
            out_ += ')';
            return;
        }
        const bool rounded = target == "REAL" && e.scale >= 0;
        if (rounded)
            out_ += "round(";
        out_ += "CAST(";
        expr(a);
        out_ += " AS " + target + ")";
        if (rounded)
            out_ += ", " + std::to_string(e.scale) + ")";
    }

    void extract(const Expr& e) {
        const char* fmt = e.word == "YEAR"     ? "%Y"
                          : e.word == "MONTH"  ? "%m"
                          : e.word == "DAY"    ? "%d"
                          : e.word == "HOUR"   ? "%H"
                          : e.word == "MINUTE" ? "%M"
                                               : "%S";
        out_ += "CAST(strftime('";
        out_ += fmt;
        out_ += "', ";
        expr(*e.args[0]);
        out_ += ") AS INTEGER)";
    }

    std::string out_;
};

}  // namespace

std::string emitStatement(const Statement& st) {
    return Emitter().statement(st);
}

}  // namespace orn::sql
