#include "dbengine/sql/parser.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <optional>

#include "dbengine/sql/sql_error.h"
#include "dbengine/sql/tokenizer.h"

namespace orn::sql {

namespace {

bool ieq(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string upper(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

// Words that end an expression or a clause, so they are never taken as names or aliases.
bool isReserved(std::string_view w) {
    static constexpr std::string_view words[] = {
        "ALL",     "AND",       "AS",    "ASC",        "ASCENDING", "BETWEEN", "BY",     "CASE",
        "COLLATE", "CROSS",     "DESC",  "DESCENDING", "DISTINCT",  "ELSE",    "END",    "ESCAPE",
        "EXCEPT",  "EXISTS",    "FROM",  "FULL",       "GLOB",      "GROUP",   "HAVING", "IN",
        "INNER",   "INTERSECT", "INTO",  "IS",         "JOIN",      "LEFT",    "LIKE",   "LIMIT",
        "MATCH",   "NATURAL",   "NOT",   "NULL",       "OFFSET",    "ON",      "OR",     "ORDER",
        "OUTER",   "REGEXP",    "RIGHT", "SELECT",     "SET",       "THEN",    "UNION",  "USING",
        "VALUES",  "WHEN",      "WHERE", "NULLS",      "UPDATE",    "DELETE",  "INSERT", "WINDOW"};
    return std::any_of(std::begin(words), std::end(words),
                       [&](std::string_view k) { return ieq(w, k); });
}

class Parser {
  public:
    explicit Parser(std::string_view text) : text_(text), toks_(tokenize(text)) {}

    Statement statement() {
        Statement st;
        const Token& first = peek();
        if (isWord("SELECT")) {
            st.kind = Statement::Kind::Select;
            st.select = select();
        } else if (isWord("INSERT")) {
            insert(st);
        } else if (isWord("UPDATE")) {
            update(st);
        } else if (isWord("DELETE")) {
            remove(st);
        } else if (isWord("CREATE") && (isWord("TABLE", 1) || createsIndex())) {
            create(st);
        } else if (isWord("DROP") && (isWord("TABLE", 1) || isWord("INDEX", 1))) {
            drop(st);
        } else if (isWord("ALTER") && isWord("TABLE", 1)) {
            alter(st);
        } else if (first.kind == TokenKind::End) {
            throw SqlError("There is no statement to run: the SQL text is empty", first.pos);
        } else {
            st.kind = Statement::Kind::Other;
            st.text = std::string(text_);
            while (!st.text.empty() && (std::isspace(static_cast<unsigned char>(st.text.back())) ||
                                        st.text.back() == ';'))
                st.text.pop_back();
            if (st.text.find_first_not_of(" \t\r\n;") == std::string::npos)
                throw SqlError("There is no statement to run: the SQL text is empty", first.pos);
            return st;
        }
        acceptOp(";");
        if (peek().kind != TokenKind::End) {
            if (toks_[i_ - 1].text == ";" && toks_[i_ - 1].kind == TokenKind::Operator)
                secondStatement(peek());
            fail(peek(), "");
        }
        return st;
    }

  private:
    // ---- token helpers ----
    const Token& peek(std::size_t ahead = 0) const {
        return toks_[std::min(i_ + ahead, toks_.size() - 1)];
    }
    const Token& take() {
        const Token& t = toks_[i_];
        if (i_ + 1 < toks_.size())
            ++i_;
        return t;
    }
    bool isWord(std::string_view w, std::size_t ahead = 0) const {
        const Token& t = peek(ahead);
        return t.kind == TokenKind::Word && ieq(t.text, w);
    }
    // After CREATE: INDEX, after the words that may come before it.
    bool createsIndex() const {
        std::size_t at = 1;
        while (at < 5 &&
               (isWord("UNIQUE", at) || isWord("CASEINSENSITIVE", at) || isWord("ASC", at) ||
                isWord("ASCENDING", at) || isWord("DESC", at) || isWord("DESCENDING", at)))
            ++at;
        return isWord("INDEX", at);
    }
    bool isOp(std::string_view o, std::size_t ahead = 0) const {
        const Token& t = peek(ahead);
        // operators are one or two characters: compare them without a library call
        if (t.kind != TokenKind::Operator || t.text.size() != o.size())
            return false;
        return t.text[0] == o[0] && (o.size() == 1 || t.text[1] == o[1]);
    }
    bool acceptWord(std::string_view w) {
        if (!isWord(w))
            return false;
        take();
        return true;
    }
    bool acceptOp(std::string_view o) {
        if (!isOp(o))
            return false;
        take();
        return true;
    }
    void expectWord(std::string_view w) {
        if (!acceptWord(w))
            fail(peek(), std::string(w));
    }
    void expectOp(std::string_view o) {
        if (!acceptOp(o))
            fail(peek(), "'" + std::string(o) + "'");
    }

    [[noreturn]] void fail(const Token& t, const std::string& expected) const {
        if (ddl_ && t.kind == TokenKind::Parameter)
            parameterInDdl(t);
        std::string shown;
        if (t.kind == TokenKind::End)
            shown = "end of statement";
        else
            shown = "'" + std::string(text_.substr(t.pos, t.end - t.pos)) + "'";
        std::string msg =
            "Syntax error at " + describePosition(text_, t.pos) + ": unexpected " + shown;
        if (!expected.empty())
            msg += ", expected " + expected;
        throw SqlError(msg, t.pos, t.kind == TokenKind::End ? std::string() : shown);
    }

    [[noreturn]] void secondStatement(const Token& t) const {
        const std::string shown(text_.substr(t.pos, t.end - t.pos));
        throw SqlError("Only one statement can be run at a time: a second one begins at " +
                           describePosition(text_, t.pos) + " with '" + shown + "'",
                       t.pos, "'" + shown + "'");
    }

    // Table definitions are carried out on the files, with nothing to bind a value to.
    [[noreturn]] void parameterInDdl(const Token& t) const {
        const std::string shown(text_.substr(t.pos, t.end - t.pos));
        throw SqlError("Parameters cannot be used in CREATE, ALTER or DROP statements: '" + shown +
                           "' at " + describePosition(text_, t.pos),
                       t.pos, shown);
    }

    // A name: unquoted word (not reserved unless allowed) or any quoted form.
    bool atName(bool allowReserved = false) const {
        const Token& t = peek();
        if (t.kind == TokenKind::Word)
            return allowReserved || !isReserved(t.text);
        return t.kind == TokenKind::DoubleQuoted || t.kind == TokenKind::SingleQuoted ||
               t.kind == TokenKind::Bracketed;
    }
    std::string name(const std::string& what, bool allowReserved = true) {
        if (!atName(allowReserved))
            fail(peek(), what);
        return take().text;
    }

    // ---- table references ----
    static bool isTableExtension(std::string_view ext) { return ieq(ext, "db") || ieq(ext, "dbf"); }

    TableRef tableRef() {
        TableRef ref;
        const Token& t = peek();
        ref.pos = t.pos;
        if (t.kind == TokenKind::DoubleQuoted || t.kind == TokenKind::SingleQuoted ||
            t.kind == TokenKind::Bracketed) {
            ref.reference = take().text;
        } else if (t.kind == TokenKind::Parameter && !t.positional) {
            // :ALIAS:table written without quotes
            ref.reference = ":" + take().text;
            if (peek().kind == TokenKind::Parameter && peek().pos == toks_[i_ - 1].end) {
                ref.reference += ":" + take().text;
            } else if (isOp(":") && peek().pos == toks_[i_ - 1].end &&
                       peek(1).kind == TokenKind::Word) {
                take();
                ref.reference += ":" + take().text;
            } else {
                if (ddl_)
                    parameterInDdl(toks_[i_ - 1]);
                fail(peek(), "a table name after the alias");
            }
            extension(ref.reference);
        } else if (t.kind == TokenKind::Word) {
            // ORDER.DBF: a keyword is a file name when an extension follows.
            if (isReserved(t.text) && !(isOp(".", 1) && peek(2).kind == TokenKind::Word))
                fail(t, "a table name");
            ref.reference = take().text;
            extension(ref.reference);
        } else {
            fail(t, "a table name");
        }
        ref.end = toks_[i_ - 1].end;
        return ref;
    }

    // name.ext unquoted; the dot must touch both parts
    void extension(std::string& reference) {
        if (isOp(".") && peek().pos == toks_[i_ - 1].end && peek(1).kind == TokenKind::Word &&
            peek(1).pos == peek().end) {
            take();
            reference += "." + take().text;
        }
    }

    std::string correlationName() {
        if (acceptWord("AS"))
            return name("a correlation name");
        if (atName(false) && peek().kind != TokenKind::SingleQuoted)
            return take().text;
        return {};
    }

    // ---- SELECT ----
    SelectPtr select() {
        Nesting guard(*this);
        auto sel = std::make_unique<Select>();
        sel->cores.push_back(selectCore());
        for (;;) {
            std::string op;
            if (acceptWord("UNION"))
                op = acceptWord("ALL") ? "UNION ALL" : (acceptWord("DISTINCT"), "UNION");
            else if (acceptWord("EXCEPT"))
                op = "EXCEPT";
            else if (acceptWord("INTERSECT"))
                op = "INTERSECT";
            else
                break;
            sel->compoundOps.push_back(op);
            sel->cores.push_back(selectCore());
        }
        if (acceptWord("ORDER")) {
            expectWord("BY");
            do {
                OrderItem item;
                item.expr = orderTerm();
                if (acceptWord("ASC") || acceptWord("ASCENDING"))
                    item.direction = "ASC";
                else if (acceptWord("DESC") || acceptWord("DESCENDING"))
                    item.direction = "DESC";
                if (acceptWord("NULLS")) {
                    if (acceptWord("FIRST"))
                        item.nulls = "NULLS FIRST";
                    else if (acceptWord("LAST"))
                        item.nulls = "NULLS LAST";
                    else
                        fail(peek(), "FIRST or LAST");
                }
                sel->orderBy.push_back(std::move(item));
            } while (acceptOp(","));
        }
        if (acceptWord("LIMIT")) {
            sel->limit = expr();
            if (acceptWord("OFFSET")) {
                sel->offset = expr();
            } else if (acceptOp(",")) {
                // LIMIT offset, count
                sel->offset = std::move(sel->limit);
                sel->limit = expr();
            }
        }
        return sel;
    }

    // ORDER BY / GROUP BY: a lone double-quoted name there names a column.
    ExprPtr orderTerm() {
        if (peek().kind == TokenKind::DoubleQuoted && !isOp(".", 1) && endsTerm(1)) {
            const Token& t = take();
            auto e = node(ExprKind::Column, t);
            e->text = t.text;
            return e;
        }
        return expr();
    }
    bool endsTerm(std::size_t ahead) const {
        const Token& t = peek(ahead);
        if (t.kind == TokenKind::End)
            return true;
        if (t.kind == TokenKind::Operator)
            return t.text == "," || t.text == ")" || t.text == ";";
        if (t.kind != TokenKind::Word)
            return false;
        for (std::string_view w : {"ASC", "DESC", "ASCENDING", "DESCENDING", "HAVING", "LIMIT",
                                   "ORDER", "UNION", "EXCEPT", "INTERSECT", "NULLS", "COLLATE"})
            if (ieq(t.text, w))
                return true;
        return false;
    }

    SelectCore selectCore() {
        SelectCore core;
        expectWord("SELECT");
        if (acceptWord("DISTINCT"))
            core.distinct = true;
        else
            acceptWord("ALL");
        do {
            core.items.push_back(selectItem());
        } while (acceptOp(","));
        if (acceptWord("FROM")) {
            do {
                core.from.push_back(joinedSource());
            } while (acceptOp(","));
        }
        if (acceptWord("WHERE"))
            core.where = expr();
        if (acceptWord("GROUP")) {
            expectWord("BY");
            do {
                core.groupBy.push_back(orderTerm());
            } while (acceptOp(","));
        }
        if (acceptWord("HAVING"))
            core.having = expr();
        return core;
    }

    SelectItem selectItem() {
        SelectItem item;
        if (acceptOp("*")) {
            item.star = true;
            return item;
        }
        // qualifier.*  (also name.ext.*)
        std::size_t n = 0;
        if (atName(true) || peek().kind == TokenKind::Word) {
            if (isOp(".", 1) && isOp("*", 2))
                n = 1;
            if (peek().kind == TokenKind::Word && isOp(".", 1) && peek(2).kind == TokenKind::Word &&
                isOp(".", 3) && isOp("*", 4))
                n = 2;
        }
        if (n > 0) {
            item.star = true;
            item.starQualifier = take().text;
            if (n == 2) {
                take();
                item.starQualifier += "." + take().text;
            }
            take();
            take();
            return item;
        }
        item.expr = expr();
        if (acceptWord("AS")) {
            item.alias = name("an alias");
            item.hasAlias = true;
        } else if (atName(false)) {
            item.alias = take().text;
            item.hasAlias = true;
        }
        return item;
    }

    SourcePtr joinedSource() {
        Nesting guard(*this);
        SourcePtr left = primarySource();
        for (;;) {
            std::string op;
            const bool natural = acceptWord("NATURAL");
            if (acceptWord("JOIN")) {
                op = "JOIN";
            } else if (acceptWord("INNER")) {
                expectWord("JOIN");
                op = "INNER JOIN";
            } else if (isWord("LEFT") || isWord("RIGHT") || isWord("FULL")) {
                op = upper(take().text);
                if (acceptWord("OUTER"))
                    op += " OUTER";
                expectWord("JOIN");
                op += " JOIN";
            } else if (acceptWord("CROSS")) {
                expectWord("JOIN");
                op = "CROSS JOIN";
            } else {
                if (natural)
                    fail(peek(), "JOIN");
                break;
            }
            if (natural)
                op = "NATURAL " + op;
            auto join = std::make_unique<Source>();
            join->kind = Source::Kind::Join;
            join->joinOp = op;
            join->left = std::move(left);
            join->right = primarySource();
            if (acceptWord("ON")) {
                join->on = expr();
            } else if (acceptWord("USING")) {
                expectOp("(");
                do {
                    join->usingColumns.push_back(name("a column name"));
                } while (acceptOp(","));
                expectOp(")");
            }
            left = std::move(join);
        }
        return left;
    }

    SourcePtr primarySource() {
        auto src = std::make_unique<Source>();
        if (isOp("(")) {
            if (isWord("SELECT", 1)) {
                take();
                src->kind = Source::Kind::Derived;
                src->derived = select();
                expectOp(")");
                src->alias = correlationName();
                return src;
            }
            take();
            src = joinedSource();
            expectOp(")");
            src->parenthesized = true;
            return src;
        }
        src->table = tableRef();
        src->alias = correlationName();
        return src;
    }

    // ---- expressions (SQLite precedence) ----
    ExprPtr node(ExprKind kind, const Token& at) {
        auto e = std::make_unique<Expr>();
        e->kind = kind;
        e->pos = at.pos;
        e->end = at.end;
        return e;
    }
    ExprPtr wrap(ExprKind kind, ExprPtr first) {
        auto e = std::make_unique<Expr>();
        e->kind = kind;
        e->pos = first->pos;
        e->end = first->end;
        e->args.push_back(std::move(first));
        return e;
    }
    // Also bounds how tall an expression may grow (a + a + ... nests to the left), so that
    // walking the tree later cannot run out of stack.
    void close(Expr& e) {
        e.end = toks_[i_ - 1].end;
        for (const ExprPtr& a : e.args)
            e.height = std::max(e.height, a->height + 1);
        if (e.height > maxHeight)
            tooDeep(e.pos);
    }

    static constexpr int maxNesting = 300;
    static constexpr int maxHeight = 1000;

    [[noreturn]] void tooDeep(std::size_t pos) const {
        throw SqlError("Statement too deeply nested at " + describePosition(text_, pos), pos);
    }

    // Counts the parser's own recursion (parentheses, subqueries, chains of NOT and signs).
    struct Nesting {
        Parser& parser;
        explicit Nesting(Parser& p) : parser(p) {
            if (++parser.nesting_ > maxNesting)
                parser.tooDeep(parser.peek().pos);
        }
        ~Nesting() { --parser.nesting_; }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;
    };

    ExprPtr expr() {
        Nesting guard(*this);
        return orExpr();
    }

    ExprPtr orExpr() {
        ExprPtr left = andExpr();
        while (isWord("OR")) {
            take();
            left = binary(std::move(left), "OR", andExpr());
        }
        return left;
    }
    ExprPtr andExpr() {
        ExprPtr left = notExpr();
        while (isWord("AND")) {
            take();
            left = binary(std::move(left), "AND", notExpr());
        }
        return left;
    }
    ExprPtr notExpr() {
        Nesting guard(*this);
        if (isWord("NOT") && !isWord("EXISTS", 1)) {
            const Token& t = take();
            auto e = node(ExprKind::Unary, t);
            e->op = "NOT";
            e->args.push_back(notExpr());
            close(*e);
            return e;
        }
        return equality();
    }
    ExprPtr binary(ExprPtr l, std::string op, ExprPtr r) {
        auto e = wrap(ExprKind::Binary, std::move(l));
        e->op = std::move(op);
        e->args.push_back(std::move(r));
        close(*e);
        return e;
    }

    static bool isComparison(std::string_view op) {
        return op == "=" || op == "==" || op == "<>" || op == "!=" || op == "^=" || op == "~=" ||
               op == "<" || op == ">" || op == "<=" || op == ">=";
    }

    ExprPtr equality() {
        ExprPtr left = relational();
        for (;;) {
            const Token& t = peek();
            if (t.kind == TokenKind::Operator &&
                (t.text == "=" || t.text == "==" || t.text == "<>" || t.text == "!=" ||
                 t.text == "^=" || t.text == "~=")) {
                take();
                left = comparisonRight(std::move(left), t.text, &Parser::relational);
                continue;
            }
            bool negated = false;
            std::size_t ahead = 0;
            if (isWord("NOT")) {
                negated = true;
                ahead = 1;
            }
            if (isWord("IN", ahead)) {
                i_ += ahead + 1;
                left = inExpr(std::move(left), negated);
            } else if (isWord("LIKE", ahead) || isWord("GLOB", ahead) || isWord("REGEXP", ahead) ||
                       isWord("MATCH", ahead)) {
                i_ += ahead;
                const std::string op = upper(take().text);
                auto e = wrap(ExprKind::Like, std::move(left));
                e->op = op;
                e->negated = negated;
                e->args.push_back(relational());
                if (acceptWord("ESCAPE"))
                    e->args.push_back(relational());
                close(*e);
                left = std::move(e);
            } else if (isWord("BETWEEN", ahead)) {
                i_ += ahead + 1;
                auto e = wrap(ExprKind::Between, std::move(left));
                e->negated = negated;
                e->args.push_back(relational());
                expectWord("AND");
                e->args.push_back(relational());
                close(*e);
                left = std::move(e);
            } else if (!negated && isWord("IS")) {
                take();
                const bool isNot = acceptWord("NOT");
                if (acceptWord("NULL")) {
                    auto e = wrap(ExprKind::IsNull, std::move(left));
                    e->negated = isNot;
                    close(*e);
                    left = std::move(e);
                } else {
                    auto e = wrap(ExprKind::Is, std::move(left));
                    e->negated = isNot;
                    e->args.push_back(relational());
                    close(*e);
                    left = std::move(e);
                }
            } else {
                break;
            }
        }
        return left;
    }

    ExprPtr comparisonRight(ExprPtr left, const std::string& op, ExprPtr (Parser::*next)()) {
        if ((isWord("ANY") || isWord("SOME") || isWord("ALL")) && isOp("(", 1) &&
            isWord("SELECT", 2)) {
            const std::string q = upper(take().text);
            take();
            auto e = wrap(ExprKind::Quantified, std::move(left));
            e->op = op;
            e->word = q == "ALL" ? "ALL" : "ANY";
            e->select = select();
            expectOp(")");
            close(*e);
            return e;
        }
        return binary(std::move(left), op, (this->*next)());
    }

    ExprPtr inExpr(ExprPtr left, bool negated) {
        expectOp("(");
        if (isWord("SELECT")) {
            auto e = wrap(ExprKind::InSelect, std::move(left));
            e->negated = negated;
            e->select = select();
            expectOp(")");
            close(*e);
            return e;
        }
        auto e = wrap(ExprKind::InList, std::move(left));
        e->negated = negated;
        if (!isOp(")")) {
            do {
                e->args.push_back(expr());
            } while (acceptOp(","));
        }
        expectOp(")");
        close(*e);
        return e;
    }

    ExprPtr relational() {
        ExprPtr left = bitwise();
        for (;;) {
            const Token& t = peek();
            if (t.kind == TokenKind::Operator &&
                (t.text == "<" || t.text == ">" || t.text == "<=" || t.text == ">=")) {
                take();
                left = comparisonRight(std::move(left), t.text, &Parser::bitwise);
            } else {
                return left;
            }
        }
    }
    ExprPtr bitwise() {
        ExprPtr left = additive();
        while (isOp("&") || isOp("|") || isOp("<<") || isOp(">>")) {
            const std::string op = take().text;
            left = binary(std::move(left), op, additive());
        }
        return left;
    }
    ExprPtr additive() {
        ExprPtr left = multiplicative();
        while (isOp("+") || isOp("-")) {
            const std::string op = take().text;
            left = binary(std::move(left), op, multiplicative());
        }
        return left;
    }
    ExprPtr multiplicative() {
        ExprPtr left = concat();
        while (isOp("*") || isOp("/") || isOp("%")) {
            const std::string op = take().text;
            left = binary(std::move(left), op, concat());
        }
        return left;
    }
    ExprPtr concat() {
        ExprPtr left = unary();
        while (isOp("||")) {
            take();
            left = binary(std::move(left), "||", unary());
        }
        return left;
    }
    ExprPtr unary() {
        Nesting guard(*this);
        if (isOp("-") || isOp("+") || isOp("~")) {
            const Token& t = take();
            auto e = node(ExprKind::Unary, t);
            e->op = t.text;
            e->args.push_back(unary());
            close(*e);
            return e;
        }
        ExprPtr e = primary();
        while (acceptWord("COLLATE")) {
            auto c = wrap(ExprKind::Collate, std::move(e));
            c->text = name("a collation name");
            close(*c);
            e = std::move(c);
        }
        return e;
    }

    // name [. name [. name]] after the first part was read; the qualifier keeps the dots.
    ExprPtr columnRef(const Token& first) {
        auto e = node(ExprKind::Column, first);
        std::vector<std::string> parts{first.text};
        while (isOp(".")) {
            take();
            const Token& t = peek();
            if (t.kind != TokenKind::Word && t.kind != TokenKind::DoubleQuoted &&
                t.kind != TokenKind::SingleQuoted && t.kind != TokenKind::Bracketed)
                fail(t, "a column name");
            parts.push_back(take().text);
        }
        e->text = parts.back();
        parts.pop_back();
        for (std::size_t k = 0; k < parts.size(); ++k) {
            if (k)
                e->qualifier += '.';
            e->qualifier += parts[k];
        }
        close(*e);
        return e;
    }

    ExprPtr primary() {
        const Token& t = peek();
        switch (t.kind) {
            case TokenKind::Number: {
                take();
                auto e = node(ExprKind::Number, t);
                e->text = t.text;
                return e;
            }
            case TokenKind::SingleQuoted:
            case TokenKind::DoubleQuoted: {
                take();
                if (isOp(".") && peek().pos == t.end)
                    return columnRef(t);
                auto e = node(ExprKind::String, t);
                e->text = t.text;
                return e;
            }
            case TokenKind::Bracketed:
                take();
                return columnRef(t);
            case TokenKind::Parameter: {
                take();
                auto e = node(ExprKind::Parameter, t);
                e->text = t.text;
                e->positional = t.positional;
                return e;
            }
            case TokenKind::Operator:
                if (t.text == "(")
                    return parenthesized();
                fail(t, "an expression");
            case TokenKind::End:
                fail(t, "an expression");
            case TokenKind::Word:
                return wordPrimary();
        }
        fail(t, "an expression");
    }

    ExprPtr parenthesized() {
        const Token& open = take();
        if (isWord("SELECT")) {
            auto e = node(ExprKind::Subquery, open);
            e->select = select();
            expectOp(")");
            close(*e);
            return e;
        }
        auto e = node(ExprKind::Paren, open);
        do {
            e->args.push_back(expr());
        } while (acceptOp(","));
        expectOp(")");
        close(*e);
        return e;
    }

    ExprPtr wordPrimary() {
        const Token& t = peek();
        const std::string w = upper(t.text);
        const Token& after = peek(1);
        const bool call = after.kind == TokenKind::Operator && after.text == "(";
        if (w == "NULL") {
            take();
            return node(ExprKind::Null, t);
        }
        if (w == "TRUE" || w == "FALSE") {
            take();
            auto e = node(ExprKind::Boolean, t);
            e->text = w == "TRUE" ? "1" : "0";
            return e;
        }
        if ((w == "DATE" || w == "TIME" || w == "TIMESTAMP") &&
            (after.kind == TokenKind::SingleQuoted || after.kind == TokenKind::DoubleQuoted)) {
            take();
            auto e = node(ExprKind::TypedLiteral, t);
            e->word = w;
            e->text = take().text;
            close(*e);
            return e;
        }
        if (w == "CURRENT_DATE" || w == "CURRENT_TIME" || w == "CURRENT_TIMESTAMP") {
            take();
            auto e = node(ExprKind::Keyword, t);
            e->text = w;
            return e;
        }
        if (w == "EXISTS" || (w == "NOT" && isWord("EXISTS", 1))) {
            auto e = node(ExprKind::Exists, t);
            e->negated = w == "NOT";
            if (e->negated)
                take();
            take();
            expectOp("(");
            e->select = select();
            expectOp(")");
            close(*e);
            return e;
        }
        if (w == "CASE")
            return caseExpr();
        if (call && w == "CAST")
            return castExpr();
        if (call && w == "TRIM")
            return trimExpr();
        if (call && (w == "SUBSTRING" || w == "SUBSTR"))
            return substringExpr();
        if (call && w == "EXTRACT")
            return extractExpr();
        if (call)
            return functionCall();
        if (isReserved(t.text))
            fail(t, "an expression");
        take();
        return columnRef(t);
    }

    ExprPtr caseExpr() {
        auto e = node(ExprKind::Case, take());
        if (!isWord("WHEN")) {
            e->hasOperand = true;
            e->args.push_back(expr());
        }
        if (!isWord("WHEN"))
            fail(peek(), "WHEN");
        while (acceptWord("WHEN")) {
            e->args.push_back(expr());
            expectWord("THEN");
            e->args.push_back(expr());
        }
        if (acceptWord("ELSE")) {
            e->hasElse = true;
            e->args.push_back(expr());
        }
        expectWord("END");
        close(*e);
        return e;
    }

    // CAST(x AS type [(n[, m])])
    ExprPtr castExpr() {
        auto e = node(ExprKind::Cast, take());
        expectOp("(");
        e->args.push_back(expr());
        expectWord("AS");
        if (peek().kind != TokenKind::Word)
            fail(peek(), "a type name");
        e->word = upper(take().text);
        while (peek().kind == TokenKind::Word && !isReserved(peek().text))
            e->word += " " + upper(take().text);  // DOUBLE PRECISION, CHARACTER VARYING
        typeSize(e->size, e->scale);
        expectOp(")");
        close(*e);
        return e;
    }

    void typeSize(int& size, int& scale) {
        if (!acceptOp("("))
            return;
        size = integer();
        if (acceptOp(","))
            scale = integer();
        expectOp(")");
    }

    int integer() {
        const Token& t = peek();
        if (t.kind != TokenKind::Number ||
            t.text.find_first_not_of("0123456789") != std::string::npos || t.text.size() > 9)
            fail(t, "a whole number");
        take();
        return std::stoi(t.text);
    }

    // TRIM([[BOTH|LEADING|TRAILING] [chars] FROM] x) and TRIM(x[, chars])
    ExprPtr trimExpr() {
        auto e = node(ExprKind::Trim, take());
        expectOp("(");
        e->word = "BOTH";
        bool sqlForm = false;
        if (isWord("BOTH") || isWord("LEADING") || isWord("TRAILING")) {
            e->word = upper(take().text);
            sqlForm = true;
        }
        if (sqlForm && acceptWord("FROM")) {
            e->args.push_back(expr());
        } else {
            ExprPtr first = expr();
            if (acceptWord("FROM")) {
                e->args.push_back(expr());
                e->args.push_back(std::move(first));
            } else if (!sqlForm && acceptOp(",")) {
                e->args.push_back(std::move(first));
                e->args.push_back(expr());
            } else if (sqlForm) {
                fail(peek(), "FROM");
            } else {
                e->args.push_back(std::move(first));
            }
        }
        expectOp(")");
        close(*e);
        return e;
    }

    // SUBSTRING(x FROM n [FOR m]) and SUBSTRING(x, n[, m])
    ExprPtr substringExpr() {
        auto e = node(ExprKind::Substring, take());
        expectOp("(");
        e->args.push_back(expr());
        if (acceptWord("FROM")) {
            e->args.push_back(expr());
            if (acceptWord("FOR"))
                e->args.push_back(expr());
        } else if (acceptOp(",")) {
            e->args.push_back(expr());
            if (acceptOp(","))
                e->args.push_back(expr());
        } else {
            fail(peek(), "FROM");
        }
        expectOp(")");
        close(*e);
        return e;
    }

    ExprPtr extractExpr() {
        auto e = node(ExprKind::Extract, take());
        expectOp("(");
        const Token& part = peek();
        const std::string w = upper(part.text);
        if (part.kind != TokenKind::Word || (w != "YEAR" && w != "MONTH" && w != "DAY" &&
                                             w != "HOUR" && w != "MINUTE" && w != "SECOND"))
            fail(part, "YEAR, MONTH, DAY, HOUR, MINUTE or SECOND");
        take();
        e->word = w;
        expectWord("FROM");
        e->args.push_back(expr());
        expectOp(")");
        close(*e);
        return e;
    }

    ExprPtr functionCall() {
        const Token& t = take();
        auto e = node(ExprKind::Function, t);
        e->text = t.text;
        expectOp("(");
        if (isOp("*")) {
            e->args.push_back(node(ExprKind::Star, take()));
        } else if (!isOp(")")) {
            if (acceptWord("DISTINCT"))
                e->distinct = true;
            else
                acceptWord("ALL");
            do {
                e->args.push_back(expr());
            } while (acceptOp(","));
        }
        expectOp(")");
        close(*e);
        if (isWord("FILTER") || isWord("OVER"))
            fail(peek(), "");  // window functions are not part of the dialect
        return e;
    }

    // ---- DML ----
    void insert(Statement& st) {
        st.kind = Statement::Kind::Insert;
        take();
        expectWord("INTO");
        st.table = tableRef();
        if (isOp("(") && !isWord("SELECT", 1)) {
            take();
            do {
                st.columns.push_back(name("a column name"));
            } while (acceptOp(","));
            expectOp(")");
        }
        if (acceptWord("VALUES")) {
            do {
                expectOp("(");
                std::vector<ExprPtr> row;
                do {
                    row.push_back(expr());
                } while (acceptOp(","));
                expectOp(")");
                st.rows.push_back(std::move(row));
            } while (acceptOp(","));
        } else if (isWord("SELECT")) {
            st.select = select();
        } else if (isOp("(") && isWord("SELECT", 1)) {
            take();
            st.select = select();
            expectOp(")");
        } else {
            fail(peek(), "VALUES or SELECT");
        }
    }

    void update(Statement& st) {
        st.kind = Statement::Kind::Update;
        take();
        st.table = tableRef();
        if (!isWord("SET"))
            st.alias = correlationName();
        expectWord("SET");
        do {
            Assignment a;
            a.pos = peek().pos;
            std::string first = name("a column name", true);
            if (acceptOp(".")) {
                a.qualifier = std::move(first);
                a.column = name("a column name", true);
            } else {
                a.column = std::move(first);
            }
            if (!acceptOp("=") && !acceptOp("=="))
                fail(peek(), "'='");
            a.value = expr();
            st.assignments.push_back(std::move(a));
        } while (acceptOp(","));
        if (acceptWord("WHERE"))
            st.where = expr();
    }

    void remove(Statement& st) {
        st.kind = Statement::Kind::Delete;
        take();
        expectWord("FROM");
        st.table = tableRef();
        if (!isWord("WHERE"))
            st.alias = correlationName();
        if (acceptWord("WHERE"))
            st.where = expr();
    }

    // ---- DDL ----
    ColumnDef columnDef() {
        ColumnDef c;
        c.pos = peek().pos;
        c.name = name("a column name", true);
        if (peek().kind != TokenKind::Word)
            fail(peek(), "a column type");
        c.typeWord = upper(take().text);
        if (c.typeWord == "CHARACTER" && isWord("VARYING")) {
            take();
            c.typeWord = "VARCHAR";
        }
        typeSize(c.size, c.scale);
        for (;;) {
            if (acceptWord("NOT")) {
                expectWord("NULL");
            } else if (acceptWord("NULL")) {
            } else if (acceptWord("PRIMARY")) {
                expectWord("KEY");
                c.primaryKey = true;
            } else {
                break;
            }
        }
        return c;
    }

    void create(Statement& st) {
        ddl_ = true;
        take();
        if (acceptWord("TABLE")) {
            st.kind = Statement::Kind::CreateTable;
            st.table = tableRef();
            expectOp("(");
            do {
                if (isWord("PRIMARY") && isWord("KEY", 1)) {
                    take();
                    take();
                    expectOp("(");
                    do {
                        st.primaryKey.push_back(name("a column name"));
                    } while (acceptOp(","));
                    expectOp(")");
                } else {
                    st.columnDefs.push_back(columnDef());
                }
            } while (acceptOp(","));
            expectOp(")");
            if (acceptWord("BLOCK")) {
                expectWord("SIZE");
                st.blockSize = integer();
            }
            return;
        }
        st.kind = Statement::Kind::CreateIndex;
        // CREATE [UNIQUE] [ASC | DESC] [CASEINSENSITIVE] INDEX, the words in any order; a
        // direction here holds for every field.
        bool allDescending = false;
        for (;;) {
            if (acceptWord("UNIQUE"))
                st.unique = true;
            else if (acceptWord("CASEINSENSITIVE"))
                st.caseInsensitive = true;
            else if (acceptWord("DESC") || acceptWord("DESCENDING"))
                allDescending = true;
            else if (!acceptWord("ASC") && !acceptWord("ASCENDING"))
                break;
        }
        expectWord("INDEX");
        st.indexName = name("an index name");
        expectWord("ON");
        st.table = tableRef();
        expectOp("(");
        do {
            st.columns.push_back(name("a column name"));
            bool desc = false;
            if (acceptWord("DESC") || acceptWord("DESCENDING"))
                desc = true;
            else if (!acceptWord("ASC"))
                acceptWord("ASCENDING");
            st.descending.push_back(desc || allDescending);
        } while (acceptOp(","));
        expectOp(")");
    }

    void drop(Statement& st) {
        ddl_ = true;
        take();
        if (acceptWord("TABLE")) {
            st.kind = Statement::Kind::DropTable;
            st.table = tableRef();
            return;
        }
        take();
        st.kind = Statement::Kind::DropIndex;
        // table.index, where table may be quoted or name.ext
        const Token& first = peek();
        st.table.pos = first.pos;
        std::vector<std::string> parts;
        parts.push_back(name("a table name"));
        while (acceptOp("."))
            parts.push_back(name("an index name"));
        if (parts.size() < 2)
            fail(peek(), "'.' and the index name (DROP INDEX table.index)");
        st.indexName = parts.back();
        parts.pop_back();
        for (std::size_t k = 0; k < parts.size(); ++k) {
            if (k)
                st.table.reference += '.';
            st.table.reference += parts[k];
        }
        st.table.end = toks_[i_ - 1].end;
    }

    void alter(Statement& st) {
        st.kind = Statement::Kind::AlterTable;
        ddl_ = true;
        take();
        take();
        st.table = tableRef();
        do {
            Statement::AlterAction a;
            if (acceptWord("ADD")) {
                acceptWord("COLUMN");
                a.add = true;
                a.column = columnDef();
            } else if (acceptWord("DROP")) {
                acceptWord("COLUMN");
                a.add = false;
                a.column.pos = peek().pos;
                a.column.name = name("a column name");
            } else if (acceptWord("BLOCK")) {
                expectWord("SIZE");
                st.blockSize = integer();
                continue;
            } else {
                fail(peek(), "ADD, DROP or BLOCK SIZE");
            }
            st.alterActions.push_back(std::move(a));
        } while (acceptOp(","));
    }

    std::string_view text_;
    std::vector<Token> toks_;
    std::size_t i_ = 0;
    int nesting_ = 0;
    bool ddl_ = false;  // parsing CREATE, ALTER or DROP
};

}  // namespace

namespace {

// The first one or two words of a statement, skipping blanks and comments; used when the text
// does not even tokenize, to tell a statement of the dialect from one to pass through.
std::vector<std::string> leadingWords(std::string_view s, std::size_t count) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < s.size() && words.size() < count) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (std::isspace(c)) {
            ++i;
        } else if (s.substr(i, 2) == "/*") {
            const std::size_t close = s.find("*/", i + 2);
            i = close == std::string_view::npos ? s.size() : close + 2;
        } else if (s.substr(i, 2) == "--") {
            while (i < s.size() && s[i] != '\n')
                ++i;
        } else if (std::isalpha(c)) {
            const std::size_t start = i;
            while (i < s.size() && std::isalnum(static_cast<unsigned char>(s[i])))
                ++i;
            words.push_back(upper(s.substr(start, i - start)));
        } else {
            break;
        }
    }
    return words;
}

bool isDialectStatement(std::string_view text) {
    const std::vector<std::string> w = leadingWords(text, 6);
    if (w.empty())
        return true;
    const std::string& a = w[0];
    const std::string b = w.size() > 1 ? w[1] : std::string();
    if (a == "SELECT" || a == "INSERT" || a == "UPDATE" || a == "DELETE")
        return true;
    if (a == "CREATE") {
        std::size_t at = 1;
        while (at < w.size() &&
               (w[at] == "UNIQUE" || w[at] == "CASEINSENSITIVE" || w[at] == "ASC" ||
                w[at] == "ASCENDING" || w[at] == "DESC" || w[at] == "DESCENDING"))
            ++at;
        return b == "TABLE" || (at < w.size() && w[at] == "INDEX");
    }
    if (a == "DROP")
        return b == "TABLE" || b == "INDEX";
    return a == "ALTER" && b == "TABLE";
}

}  // namespace

Statement parseStatement(std::string_view text) {
    std::optional<Parser> parser;
    try {
        parser.emplace(text);
    } catch (const SqlError&) {
        // Text the tokenizer cannot read is still passed on when it is not ours to parse.
        if (isDialectStatement(text))
            throw;
        Statement st;
        st.kind = Statement::Kind::Other;
        st.text = std::string(text);
        while (!st.text.empty() &&
               (std::isspace(static_cast<unsigned char>(st.text.back())) || st.text.back() == ';'))
            st.text.pop_back();
        return st;
    }
    return parser->statement();
}

}  // namespace orn::sql
