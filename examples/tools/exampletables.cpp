#include "exampletables.h"

#include "dbengine/storage/calendar.h"
#include "dbengine/storage/table.h"

namespace orn::examples {

namespace {

using db::Field;
using db::FieldType;
using db::Record;
using db::Value;

struct Customer {
    std::int64_t no;
    const char* name;
    const char* city;
    int year, month, day;
    double credit;
    const char* notes;
};

const Customer kCustomers[] = {
    {1001, "Aalto Hardware", "Oulu", 2019, 3, 14, 12500.50, "Pays within a week."},
    {1002, "Berg & Sons", "Turku", 2020, 11, 2, 800.00, ""},
    {1003, "Corner Cafe", "Oulu", 2021, 6, 30, 1500.25,
     "Deliveries to the back door.\nRing twice."},
    {1004, "Delta Tools", "Tampere", 2018, 1, 9, 40000.00, "Key account"},
    {1005, "Eklund \"Eki\" Oy", "Helsinki", 2022, 8, 21, 0.00, ""},
    {1006, "Forsman, Lind", "Turku", 2017, 12, 31, 2300.75, "Invoice by post"},
    {1007, "Granite Works", "Tampere", 2023, 2, 28, 9999.99, ""},
    {1008, "Harbour Supply", "Helsinki", 2020, 2, 29, 15000.00, "Leap day customer"},
};

struct Part {
    const char* no;
    const char* description;
    double price;
    std::int64_t stock;
};

const Part kParts[] = {
    {"P100", "Hammer", 19.90, 120},     {"P110", "Screwdriver set", 24.50, 80},
    {"P120", "Drill 600 W", 89.00, 15}, {"P130", "Saw blade", 7.25, 300},
    {"P140", "Work gloves", 4.99, 0},   {"P150", "Tape measure 5 m", 6.40, 45},
};

Value DateOf(int y, int m, int d) {
    return db::Date{db::dayNumber(y, m, d)};
}

Value Text(const char* s) {
    return *s ? Value(std::string(s)) : Value(std::monostate{});
}

void Fill(const std::filesystem::path& file, db::TableFormat format, const db::TableCreate& layout,
          const std::vector<Record>& rows) {
    auto table = db::Table::create(file, format, layout);
    table->begin();
    for (const Record& r : rows) {
        table->insert(r);
    }
    table->commit();
}

std::vector<Record> CustomerRows() {
    std::vector<Record> rows;
    for (const Customer& c : kCustomers) {
        rows.push_back({c.no, std::string(c.name), std::string(c.city),
                        DateOf(c.year, c.month, c.day), c.credit, Text(c.notes)});
    }
    return rows;
}

std::vector<Record> PartRows() {
    std::vector<Record> rows;
    for (const Part& p : kParts) {
        rows.push_back({std::string(p.no), std::string(p.description), p.price, p.stock});
    }
    return rows;
}

std::vector<Record> OrderRows() {
    std::vector<Record> rows;
    const std::size_t customers = std::size(kCustomers);
    const std::size_t parts = std::size(kParts);
    for (std::int64_t i = 0; i < 24; ++i) {
        const Customer& c = kCustomers[static_cast<std::size_t>(i * 5) % customers];
        const Part& p = kParts[static_cast<std::size_t>(i * 7 + 3) % parts];
        const std::int64_t qty = 1 + (i * 3) % 10;
        rows.push_back({5000 + i, c.no, std::string(p.no), qty,
                        DateOf(2025, 1 + static_cast<int>(i % 12), 1 + static_cast<int>(i % 27)),
                        static_cast<double>(qty) * p.price});
    }
    return rows;
}

}  // namespace

bool ParadoxAvailable(const std::filesystem::path& scratchDirectory) {
    const auto probe = scratchDirectory / "orn_probe_px.db";
    try {
        db::TableCreate layout;
        layout.fields = {makeField("A", FieldType::Alpha, 4)};
        db::Table::create(probe, db::TableFormat::Paradox, layout).reset();
        db::Table::drop(probe);
        return true;
    } catch (const db::EngineError&) {
        return false;
    }
}

std::vector<std::string> MakeExampleTables(const std::filesystem::path& directory) {
    std::filesystem::create_directories(directory);
    std::vector<std::string> made;

    db::TableCreate customers;
    customers.fields = {
        makeField("CUSTNO", FieldType::Long),    makeField("NAME", FieldType::Alpha, 30),
        makeField("CITY", FieldType::Alpha, 20), makeField("SINCE", FieldType::Date),
        makeField("CREDIT", FieldType::Money),   makeField("NOTES", FieldType::Memo, 10)};
    Fill(directory / "customers.dbf", db::TableFormat::DBase, customers, CustomerRows());
    made.push_back("customers.dbf");

    db::TableCreate parts;
    parts.fields = {makeField("PARTNO", FieldType::Alpha, 8),
                    makeField("DESCR", FieldType::Alpha, 30), makeField("PRICE", FieldType::Money),
                    makeField("STOCK", FieldType::Long)};
    Fill(directory / "parts.dbf", db::TableFormat::DBase, parts, PartRows());
    made.push_back("parts.dbf");

    db::TableCreate orders;
    orders.fields = {
        makeField("ORDERNO", FieldType::Long),    makeField("CUSTNO", FieldType::Long),
        makeField("PARTNO", FieldType::Alpha, 8), makeField("QTY", FieldType::Long),
        makeField("ORDERED", FieldType::Date),    makeField("TOTAL", FieldType::Money)};
    Fill(directory / "orders.dbf", db::TableFormat::DBase, orders, OrderRows());
    made.push_back("orders.dbf");

    if (ParadoxAvailable(directory)) {
        db::TableCreate clients = customers;
        clients.fields[5] = makeField("NOTES", FieldType::Memo, 20);
        clients.keyFields = 1;
        Fill(directory / "clients.db", db::TableFormat::Paradox, clients, CustomerRows());
        made.push_back("clients.db");
        db::TableCreate stock = parts;
        stock.keyFields = 1;
        Fill(directory / "stock.db", db::TableFormat::Paradox, stock, PartRows());
        made.push_back("stock.db");
    }
    return made;
}

}  // namespace orn::examples
