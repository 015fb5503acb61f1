// Translation time per statement: parse, resolve against an in-memory schema, emit.
#include <benchmark/benchmark.h>

#include <map>

#include "dbengine/sql/translator.h"

namespace {

using orn::db::Field;
using orn::db::FieldType;
using namespace orn::sql;

Field field(const char* name, FieldType type) {
    Field f;
    f.name = name;
    f.type = type;
    return f;
}

class MemorySchema : public SqlSchema {
  public:
    MemorySchema() {
        add("customer", {field("CustNo", FieldType::Number), field("Company", FieldType::Alpha),
                         field("City", FieldType::Alpha), field("Country", FieldType::Alpha),
                         field("Preferred", FieldType::Logical)});
        add("orders", {field("OrderNo", FieldType::Number), field("CustNo", FieldType::Number),
                       field("SaleDate", FieldType::Date), field("ShipDate", FieldType::Date),
                       field("ShipVIA", FieldType::Alpha), field("AmountPaid", FieldType::Money),
                       field("Paid", FieldType::Logical)});
        add("items", {field("OrderNo", FieldType::Number), field("ItemNo", FieldType::Number),
                      field("PartNo", FieldType::Number), field("Qty", FieldType::Short)});
        add("parts", {field("PartNo", FieldType::Number), field("Description", FieldType::Alpha),
                      field("ListPrice", FieldType::Money)});
    }
    std::optional<SqlTable> findTable(const std::string& reference) override {
        std::string key;
        for (char c : reference) {
            if (c == '.')
                break;
            key += static_cast<char>(c | 0x20);
        }
        const auto it = tables_.find(key);
        if (it == tables_.end())
            return std::nullopt;
        return it->second;
    }
    SqlTableTarget newTable(const std::string& reference) override {
        return {"/data/" + reference, orn::db::TableFormat::Paradox};
    }

  private:
    void add(const std::string& name, std::vector<Field> fields) {
        tables_[name] = SqlTable{name, "/data/" + name + ".db", orn::db::TableFormat::Paradox,
                                 std::move(fields)};
    }
    std::map<std::string, SqlTable> tables_;
};

void translateShort(benchmark::State& state) {
    MemorySchema schema;
    const std::string text = "SELECT * FROM \"customer.db\" WHERE Country = \"US\"";
    for (auto _ : state)
        benchmark::DoNotOptimize(translateSql(text, schema));
}
BENCHMARK(translateShort);

// 20 lines: joins, date and boolean literals, a quantified subquery, grouping and ordering.
void translateTwentyLines(benchmark::State& state) {
    MemorySchema schema;
    const std::string text =
        "SELECT C.Company, C.City, O.OrderNo, O.SaleDate,\n"
        "       EXTRACT(YEAR FROM O.SaleDate) AS SaleYear,\n"
        "       SUBSTRING(C.Country FROM 1 FOR 3) AS Ctry,\n"
        "       O.ShipDate - O.SaleDate AS Days,\n"
        "       SUM(I.Qty * P.ListPrice) AS Total,\n"
        "       COUNT(DISTINCT P.PartNo) AS Parts\n"
        "FROM \"customer.db\" C\n"
        "     INNER JOIN \"orders.db\" O ON C.CustNo = O.CustNo\n"
        "     LEFT OUTER JOIN items I ON I.OrderNo = O.OrderNo\n"
        "     LEFT OUTER JOIN parts P ON P.PartNo = I.PartNo\n"
        "WHERE O.SaleDate BETWEEN '1/1/1988' AND \"12/31/1989\"\n"
        "  AND O.Paid = 'True' AND C.Preferred = TRUE\n"
        "  AND UPPER(C.Company) LIKE 'K%'\n"
        "  AND O.ShipVIA ^= \"UPS\" AND O.ShipDate <> NULL\n"
        "  AND O.AmountPaid > ALL (SELECT X.AmountPaid FROM orders X\n"
        "                          WHERE X.CustNo = C.CustNo AND X.SaleDate < '1/1/1988')\n"
        "GROUP BY C.Company, C.City, O.OrderNo, O.SaleDate, O.ShipDate, C.Country\n"
        "HAVING SUM(I.Qty * P.ListPrice) > 1000\n"
        "ORDER BY Total DESCENDING, 1, 3 ASCENDING;\n";
    for (auto _ : state)
        benchmark::DoNotOptimize(translateSql(text, schema));
}
BENCHMARK(translateTwentyLines);

void translateInsert(benchmark::State& state) {
    MemorySchema schema;
    const std::string text =
        "INSERT INTO orders VALUES (1001, 1221, '1/23/1998', NULL, 'UPS', 10.5, 'T')";
    for (auto _ : state)
        benchmark::DoNotOptimize(translateSql(text, schema));
}
BENCHMARK(translateInsert);

}  // namespace
