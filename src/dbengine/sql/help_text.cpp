#include "dbengine/sql/help_text.h"

namespace orn::sql {

const std::string& sqlHelpText() {
    static const std::string text = R"(SQL over Paradox and dBASE tables

Statements run against the table files of the SQL directory. One statement at a time; a
trailing ";" is allowed. Comments: /* ... */ (also over several lines) and -- to the end of
the line. Keywords, table names and field names may be written in any letter case.

TABLE NAMES
  customer                      customer.db in the SQL directory (else customer.dbf)
  "customer.db"  'Parts.dbf'    a file name, quoted (blanks allowed: "Customer Revenue.db")
  customer.db    PARTS.DBF      a file name without quotes
  "/data/sales/orders.db"       a full path
  ":ALIAS:customer.db"          a table reached through an alias
  A quoted file name is repeated as qualifier ("customer.db".CustNo) or replaced by a
  correlation name:  SELECT C.Company FROM "customer.db" C

FIELD NAMES AND TEXT
  Field names with blanks or keyword names are quoted AND carry a prefix:
      SELECT E."Emp Id", E.LastName FROM employee E
  Without a prefix, "..." is text, exactly like '...':
      SELECT * FROM customer WHERE Country = "US"

LITERALS
  Text       'Kauai Dive'   "Kauai Dive"
  Dates      '1/23/1998'  "10/01/1999"  DATE '1998-01-23'   (month/day/year;
             two-digit years 00-49 are 2000-2049, 50-99 are 1950-1999)
  Times      '10:30:00 PM'  '13:00:00'
  Timestamps '1/23/1998 10:30:00'
  Booleans   TRUE  FALSE  'True'  "F"
  A quoted date, time or boolean is converted when it meets a value of that type: in a
  comparison, in date arithmetic, as an INSERT or SET value, and beside it in CASE arms,
  COALESCE/NULLIF and the branches of a UNION:
      SELECT * FROM orders WHERE SaleDate BETWEEN '1/1/1988' AND '12/31/1988'
      SELECT COALESCE(ShipDate, '1/1/1900') FROM orders
  Alpha fields read without trailing blanks, and a text compared with one loses its trailing
  blanks too: Name = 'Smith  ' is Name = 'Smith'. || joins the trimmed texts.
  Field = NULL is the same as Field IS NULL.
  Parameters: :Name, :"Order No", ?

SELECT
  SELECT [DISTINCT] * | expression [[AS] name], ...
  FROM table [[AS] correlation], ...
       [INNER | LEFT [OUTER] | RIGHT [OUTER] | FULL [OUTER]] JOIN table ON condition
  [WHERE condition] [GROUP BY field, ...] [HAVING condition]
  [UNION [ALL] SELECT ...]
  [ORDER BY field | position [ASC | ASCENDING | DESC | DESCENDING], ...]
  Subqueries: IN (SELECT ...), EXISTS (SELECT ...), x > ALL (SELECT ...),
  x = ANY (SELECT ...), x < SOME (SELECT ...), scalar (SELECT ...).
  Example:
      SELECT C.Company, COUNT(*), SUM(O.AmountPaid)
      FROM customer C, orders O
      WHERE C.CustNo = O.CustNo AND O.SaleDate >= '1/1/1989'
      GROUP BY C.Company
      HAVING SUM(O.AmountPaid) > 1000
      ORDER BY 3 DESCENDING

CONDITIONS AND OPERATORS
  =  <>  !=  ^=  <  >  <=  >=   BETWEEN a AND b   IN (list)   IS [NOT] NULL
  LIKE 'L%'  (% any run of characters, _ one character; letter case matters,
              so compare UPPER(field) LIKE 'L%' to ignore it)   [NOT] LIKE ... ESCAPE '\'
  AND  OR  NOT    + - * /    || joins texts
  Dates: SaleDate + 30 (days later), ShipDate - SaleDate (days between)
  Times: StartTime + 90 (seconds later), EndTime - '10:00 PM' (seconds between)
  x > ALL (...), x < ANY (...): unknown (no row) when a NULL on either side could decide

FUNCTIONS
  UPPER(x)  LOWER(x)                      national letters included
  TRIM(x)  TRIM(BOTH | LEADING | TRAILING 'c' FROM x)
  SUBSTRING(x FROM 2 FOR 3)
  EXTRACT(YEAR | MONTH | DAY | HOUR | MINUTE | SECOND FROM date)
  CAST(x AS INTEGER | SMALLINT | FLOAT | NUMERIC | CHAR(n) | VARCHAR(n) | DATE | TIME |
       TIMESTAMP | BOOLEAN)
  COUNT(*)  COUNT([DISTINCT] x)  SUM(x)  AVG(x)  MIN(x)  MAX(x)

CHANGING DATA
  INSERT INTO customer (CustNo, Company) VALUES (1001, 'Kauai Dive')
  INSERT INTO customer VALUES (1002, 'Unisco')      fewer values: the other fields stay blank
  INSERT INTO archive SELECT * FROM orders WHERE SaleDate < '1/1/1990'
  UPDATE orders O SET O.ShipVia = 'UPS' WHERE O.OrderNo = 1003
  DELETE FROM "orders.db" O WHERE O.SaleDate < '1/1/1990'

TABLES AND INDEXES
  CREATE TABLE "parts.db" (PartNo INTEGER, Description CHAR(30), Price MONEY,
                           PRIMARY KEY (PartNo))
  CREATE TABLE "parts.dbf" (PartNo NUMERIC(6,0), Description CHAR(30))
  CREATE TABLE "big.db" (ID INTEGER, Name CHAR(20), PRIMARY KEY (ID)) BLOCK SIZE 32768
  DROP TABLE "parts.db"
  ALTER TABLE "parts.db" ADD OnHand INTEGER, DROP Description
  ALTER TABLE "big.db" BLOCK SIZE 32768      larger blocks for a full table; the rest stays
  DROP INDEX "parts.db".PRIMARY      removes the primary index (the key fields stay)
  CREATE INDEX ByDay ON "events.db" (Event_Date, Event_Time)
                                     a secondary index (events.XG0/.YG0) of a keyed Paradox
                                     table; Alpha fields only as below
  CREATE INDEX Event_Name ON "events.db" (Event_Name)
                                     one field, named after it: events.X03/.Y03, letter case
                                     counting (Alpha only where the table sorts "ascii")
  DROP INDEX "events.db".ByDay       removes that secondary index
  The primary index is made with the INDEX command. UNIQUE, DESC and CASEINSENSITIVE
  secondary indexes and dBASE production indexes are not made.
  A new table is a Paradox table unless its name ends in ".dbf". Field types:
  SMALLINT, INTEGER, DECIMAL(x,y), NUMERIC(x,y), FLOAT(x,y), CHAR(n), VARCHAR(n), DATE,
  TIME, TIMESTAMP, BOOLEAN, MONEY, AUTOINC, BYTES(n), BLOB(n,s) with s = 1 memo, 2 binary,
  3 formatted memo, 4 OLE, 5 graphic. The primary key fields come first in a Paradox table.
  TIME, TIMESTAMP, AUTOINC and BYTES are Paradox only.
  BLOCK SIZE sets the bytes per block of a Paradox table: 1024, 2048, 4096 (the usual), 16384
  or 32768. A table holds at most 65535 blocks: 64 MB with 1024, 2 GB with 32768.

Other statements are handed to the SQL engine unchanged.
)";
    return text;
}

}  // namespace orn::sql
