#include "sql_test_support.h"

namespace orn::sql::test {

using FT = db::FieldType;

FakeSchema sampleSchema() {
    FakeSchema s;
    s.add("customer.db",
          {field("CustNo", FT::Number), field("Company", FT::Alpha, 30),
           field("City", FT::Alpha, 15), field("Country", FT::Alpha, 20),
           field("LastInvoiceDate", FT::Timestamp), field("Preferred", FT::Logical)});
    s.add("orders.db",
          {field("OrderNo", FT::Number), field("CustNo", FT::Number), field("SaleDate", FT::Date),
           field("ShipDate", FT::Date), field("ShipVIA", FT::Alpha, 7),
           field("AmountPaid", FT::Money), field("Paid", FT::Logical),
           field("Incomplete", FT::Logical), field("ShipTime", FT::Time)});
    s.add("employee.db", {field("Emp Id", FT::Long), field("LastName", FT::Alpha, 20),
                          field("FirstName", FT::Alpha, 15), field("Salary", FT::Number),
                          field("Date", FT::Date)});
    s.add("biolife.db", {field("Species No", FT::Number), field("Category", FT::Alpha, 15),
                         field("Species Name", FT::Alpha, 40), field("Notes", FT::Memo)});
    s.add("parts.dbf", {field("PARTNO", FT::Number), field("DESCRIPT", FT::Alpha, 30),
                        field("ONHAND", FT::Number), field("VENDORNO", FT::Number)});
    s.add("Customer Revenue.db", {field("Company", FT::Alpha, 30), field("Revenue", FT::Money)});
    s.add("kunden.db", {field("Nr", FT::Long), field("Name", FT::Alpha, 30),
                        field("Город", FT::Alpha, 20), field("Straße", FT::Alpha, 30)});
    s.add("order.dbf", {field("ID", FT::Number), field("QTY", FT::Number)});
    s.add("password.db", {field("User", FT::Alpha, 10), field("Level", FT::Short)});
    return s;
}

SqliteDb::SqliteDb() {
    if (sqlite3_open(":memory:", &db_) != SQLITE_OK)
        ADD_FAILURE() << "cannot open SQLite";
    prepareDialectConnection(db_);
}

SqliteDb::~SqliteDb() {
    sqlite3_close(db_);
}

void SqliteDb::exec(const std::string& sql) {
    char* err = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        ADD_FAILURE() << "SQLite: " << (err ? err : "?") << "\n  in: " << sql;
        sqlite3_free(err);
    }
}

Rows SqliteDb::query(const std::string& sql, const std::vector<std::string>& params) {
    Rows rows;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "SQLite: " << sqlite3_errmsg(db_) << "\n  in: " << sql;
        return rows;
    }
    for (std::size_t i = 0; i < params.size(); ++i)
        sqlite3_bind_text(st, static_cast<int>(i + 1), params[i].c_str(), -1, SQLITE_TRANSIENT);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        std::vector<std::string> row;
        for (int c = 0; c < sqlite3_column_count(st); ++c) {
            const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
            row.push_back(t ? t : "NULL");
        }
        rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE)
        ADD_FAILURE() << "SQLite: " << sqlite3_errmsg(db_) << "\n  in: " << sql;
    sqlite3_finalize(st);
    return rows;
}

std::string SqliteDb::prepareError(const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    const int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr);
    sqlite3_finalize(st);
    return rc == SQLITE_OK ? std::string() : sqlite3_errmsg(db_);
}

void loadSampleData(SqliteDb& db) {
    db.exec(R"(
CREATE TABLE customer ("CustNo" NUMERIC, "Company" TEXT, "City" TEXT, "Country" TEXT,
                       "LastInvoiceDate" TEXT, "Preferred" INTEGER);
INSERT INTO customer VALUES
  (1221, 'Kauai Dive Shoppe', 'Kapaa Kauai', 'US', '1994-01-01 14:30:00', 1),
  (1231, 'Unisco', 'Freeport', 'Bahamas', '1994-01-01 09:00:00', 0),
  (1351, 'Sight Diver', 'Kato Paphos', 'Cyprus', '1995-06-30 00:00:00', 1),
  (1354, 'Cayman Divers World Unlimited', 'Grand Cayman', 'British West Indies', NULL, 0),
  (1356, 'Tom Sawyer Diving Centre', 'Christiansted', 'US Virgin Islands', NULL, NULL),
  (1380, 'Company', 'Honolulu', 'US', '1992-03-03 12:00:00', 0),
  (1384, 'lee''s diving', 'Lahaina', 'US', NULL, 1);
CREATE TABLE orders ("OrderNo" NUMERIC, "CustNo" NUMERIC, "SaleDate" TEXT, "ShipDate" TEXT,
                     "ShipVIA" TEXT, "AmountPaid" NUMERIC, "Paid" INTEGER,
                     "Incomplete" INTEGER, "ShipTime" TEXT);
INSERT INTO orders VALUES
  (1003, 1351, '1988-04-12', '1988-05-03', 'UPS', 1250.0, 1, 0, '09:00:00'),
  (1004, 2156, '1988-04-17', '1988-04-18', 'DHL', 7885.0, 1, 1, '13:30:00'),
  (1005, 1356, '1988-04-20', '1988-01-21', 'FedEx', 0.0, 0, 0, '22:30:00'),
  (1006, 1380, '1994-11-06', '1988-11-07', 'UPS', 20108.0, 1, 0, NULL),
  (1007, 1384, '1998-01-23', '1998-01-30', 'US Mail', 900.0, 0, 1, '08:15:00'),
  (1008, 1221, '1998-01-31', NULL, 'UPS', 310.0, 1, 0, '23:59:59'),
  (1009, 1221, '1989-12-31', '1990-01-02', 'DHL', NULL, NULL, NULL, NULL);
CREATE TABLE employee ("Emp Id" INTEGER, "LastName" TEXT, "FirstName" TEXT, "Salary" NUMERIC,
                       "Date" TEXT);
INSERT INTO employee VALUES
  (2, 'Nelson', 'Robert', 40000, '1988-12-28'),
  (4, 'Young', 'Bruce', 55500, '1988-12-28'),
  (5, 'Lambert', 'Kim', 25000, '1989-02-06'),
  (8, 'Johnson', 'Leslie', 25050, '1989-04-05'),
  (9, 'Forest', 'Phil', 25050, '1989-04-17'),
  (11, 'Weston', 'K. J.', 33292.94, '1990-01-17'),
  (12, 'Lee', 'Terri', 45332, '1990-05-01'),
  (14, 'lee', 'Stewart', 32000, '1990-06-04'),
  (15, 'Nelsen', 'Mary', NULL, NULL);
CREATE TABLE biolife ("Species No" NUMERIC, "Category" TEXT, "Species Name" TEXT, "Notes" TEXT);
INSERT INTO biolife VALUES
  (90020, 'Triggerfish', 'Ornate Triggerfish', 'Found in reefs'),
  (90030, 'Snapper', 'Red Emperor', NULL),
  (90050, 'Wrasse', 'Species Name', 'named oddly');
CREATE TABLE parts ("PARTNO" NUMERIC, "DESCRIPT" TEXT, "ONHAND" NUMERIC, "VENDORNO" NUMERIC);
INSERT INTO parts VALUES (900, 'Dive kayak', 3, 3820), (912, 'Underwater Diver Vehicle', 5, 3820),
                         (1313, 'Regulator System', 165, 5641);
CREATE TABLE "customer revenue" ("Company" TEXT, "Revenue" NUMERIC);
INSERT INTO "customer revenue" VALUES ('Unisco', 500), ('Sight Diver', 1500);
CREATE TABLE kunden ("Nr" INTEGER, "Name" TEXT, "Город" TEXT, "Straße" TEXT);
INSERT INTO kunden VALUES (1, 'Äpfel Müller', 'Москва', 'Hauptstraße'),
                          (2, 'ärger GmbH', 'москва', 'Bahnhofstraße'),
                          (3, 'Zander', 'Киев', 'Ölweg');
CREATE TABLE "order" ("ID" NUMERIC, "QTY" NUMERIC);
INSERT INTO "order" VALUES (1, 10), (2, 20);
CREATE TABLE password ("User" TEXT, "Level" INTEGER);
INSERT INTO password VALUES ('admin', 9);
)");
}

}  // namespace orn::sql::test
