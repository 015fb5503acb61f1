#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dbengine/sql/schema.h"

namespace orn::sql {

struct Expr;
struct Select;
using ExprPtr = std::unique_ptr<Expr>;
using SelectPtr = std::unique_ptr<Select>;

enum class ExprKind {
    Number,  // text: as written
    String,  // text: content (single- or double-quoted in value position)
    Null,
    Boolean,       // text: "1" or "0"
    TypedLiteral,  // DATE/TIME/TIMESTAMP 'text'; text: content, word: the type word
    Keyword,       // CURRENT_DATE, CURRENT_TIME, CURRENT_TIMESTAMP; text: the word
    Column,        // qualifier (may be empty) and text (the name)
    Star,          // * in COUNT(*)
    Parameter,     // text: name; positional for ? and ?NNN
    Unary,         // op; args[0]
    Binary,        // op; args[0], args[1]
    Quantified,    // args[0] op ANY/SOME/ALL (select); word: ANY or ALL
    Between,       // args: value, low, high; negated
    InList,        // args[0] IN (args[1..]); negated
    InSelect,      // args[0] IN (select); negated
    Like,          // args: value, pattern[, escape]; op: LIKE, GLOB, REGEXP or MATCH; negated
    IsNull,        // args[0] IS [NOT] NULL; negated = IS NOT
    Is,            // args[0] IS [NOT] args[1]
    Exists,        // [NOT] EXISTS (select)
    Subquery,      // (select)
    Paren,         // ( args... ) : one expression in parentheses or a row value
    Function,      // text: name as written; args; distinct
    Case,          // args: [operand], when, then, ..., [else]; hasOperand, hasElse
    Cast,          // args[0]; word: target type word (upper case); size, scale
    Trim,          // args: value[, characters]; word: BOTH, LEADING or TRAILING
    Substring,     // args: value, from[, for]
    Extract,       // args[0]; word: YEAR, MONTH, DAY, HOUR, MINUTE or SECOND
    Collate,       // args[0] COLLATE text
};

enum class ValueType { Unknown, Text, Number, Boolean, Date, Time, Timestamp, Blob };

struct Expr {
    ExprKind kind = ExprKind::Null;
    std::size_t pos = 0, end = 0;  // where the expression stands in the statement
    std::string text;
    std::string qualifier;  // Column: the qualifier as written, quotes removed; empty if none
    std::string op;         // operators in upper case ("=", "<>", "LIKE", "NOT", ...)
    std::string word;
    std::vector<ExprPtr> args;
    SelectPtr select;
    bool negated = false;
    bool distinct = false;
    bool positional = false;
    bool hasOperand = false;
    bool hasElse = false;
    int size = -1, scale = -1;
    int number = 0;  // Parameter: the number it is emitted with
    int height = 1;  // levels of expressions from here down (the parser bounds it)

    // Filled by name resolution.
    ValueType type = ValueType::Unknown;
    std::string emitted;            // String/TypedLiteral: converted literal (SQL text) when set
    std::string resolvedQualifier;  // Column: the correlation name to emit; empty: none
    std::string resolvedName;       // Column: the field's own spelling
    // The table field whose values the expression yields unchanged: a column, MIN/MAX of one.
    std::optional<db::Field> field;
};

struct TableRef {
    std::string reference;  // as written, quotes removed: customer, customer.db, c:\x\p.dbf
    std::size_t pos = 0, end = 0;
};

struct Source;
using SourcePtr = std::unique_ptr<Source>;

// An item of a FROM clause: a table, a derived table, or a join of two sources.
struct Source {
    enum class Kind { Table, Derived, Join } kind = Kind::Table;
    TableRef table;
    SelectPtr derived;
    std::string alias;  // correlation name; empty if none
    // Join
    std::string joinOp;  // e.g. "LEFT OUTER JOIN", "," for a comma join
    SourcePtr left, right;
    ExprPtr on;
    std::vector<std::string> usingColumns;
    bool parenthesized = false;
    // Filled by name resolution: the registered table name and the correlation name to emit.
    std::string emitTable, emitAlias;
};

struct SelectItem {
    ExprPtr expr;  // null for * and qualifier.*
    bool star = false;
    std::string starQualifier;
    std::string alias;
    bool hasAlias = false;
    bool generatedAlias = false;  // the expression's own text, so the column keeps its caption
};

struct OrderItem {
    ExprPtr expr;
    std::string direction;  // "", "ASC" or "DESC"
    std::string nulls;      // "", "NULLS FIRST" or "NULLS LAST"
};

struct SelectCore {
    bool distinct = false;
    std::vector<SelectItem> items;
    std::vector<SourcePtr> from;  // comma-separated items (each may be a join tree)
    ExprPtr where;
    std::vector<ExprPtr> groupBy;
    ExprPtr having;
};

struct Select {
    std::vector<SelectCore> cores;
    std::vector<std::string> compoundOps;  // between cores: UNION, UNION ALL, EXCEPT, INTERSECT
    std::vector<OrderItem> orderBy;
    ExprPtr limit, offset;
};

struct Assignment {
    std::string qualifier;
    std::string column;
    std::size_t pos = 0;
    ExprPtr value;
};

struct ColumnDef {
    std::string name;
    std::string typeWord;  // upper case: CHAR, VARCHAR, INTEGER, BLOB, ...
    int size = -1, scale = -1;
    bool primaryKey = false;
    std::size_t pos = 0;
};

struct Statement {
    enum class Kind {
        Select,
        Insert,
        Update,
        Delete,
        CreateTable,
        DropTable,
        CreateIndex,
        DropIndex,
        AlterTable,
        Other,  // not parsed: passed through unchanged
    } kind = Kind::Other;

    SelectPtr select;  // Select, and Insert ... SELECT
    TableRef table;    // Insert, Update, Delete, Create/Drop/Alter Table, Create/Drop Index
    std::string alias;
    std::vector<std::string> columns;        // Insert column list; Create Index fields
    std::vector<bool> descending;            // Create Index
    std::vector<std::vector<ExprPtr>> rows;  // Insert VALUES
    std::vector<Assignment> assignments;     // Update
    ExprPtr where;                           // Update, Delete
    std::vector<ColumnDef> columnDefs;       // Create Table; Alter Table ADD
    std::vector<std::string> primaryKey;     // Create Table
    int blockSize = -1;            // Create/Alter Table: BLOCK SIZE n (bytes), -1 if absent
    std::string indexName;         // Create/Drop Index
    bool unique = false;           // Create Index
    bool caseInsensitive = false;  // Create Index
    struct AlterAction {
        bool add = true;
        ColumnDef column;  // ADD: full definition; DROP: name only
    };
    std::vector<AlterAction> alterActions;
    std::string text;       // Other: the statement text without a trailing ';'
    std::string emitTable;  // filled by name resolution: the registered table name
};

}  // namespace orn::sql
