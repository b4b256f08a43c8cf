// Prints the rows mdb-reader sees in a Jet database, in the comparison form
// that `vondrel-jet dump` prints, so the conformance tests can hold one
// reader against the other.
//
//   node dump.mjs FILE [TABLE ...]     (no TABLE: every table, system ones included)
//
// Per table: `table<TAB>"name"<TAB>stored row count`, `columns<TAB>"a"<TAB>"b"...`,
// then one `row<TAB>v1<TAB>v2...` line per row; or `error<TAB>"message"` when
// mdb-reader cannot read it. Values:
//   null | true | false | integers as digits | Currency and Decimal as a
//   decimal without trailing zeros | f:<16 hex digits of the IEEE double>
//   (Single widened to double) or f:nan | t:<milliseconds since 1970, rounded>
//   or t:invalid | x:<lower-case hex> for Binary and OLE | g:<lower-case GUID>
//   | a JSON string for Text and Memo | ? for types without a form.
import { readFileSync } from "node:fs";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";

const here = dirname(fileURLToPath(import.meta.url));
const oracleRoot = process.env.VONDREL_ORACLE || here;
const { default: MDBReader } = await import(join(oracleRoot, "node_modules", "mdb-reader", "lib", "node", "index.js"));

function canonicalDecimal(text) {
  let negative = text.startsWith("-");
  let digits = negative ? text.slice(1) : text;
  let [whole, fraction = ""] = digits.split(".");
  whole = whole.replace(/^0+/, "") || "0";
  fraction = fraction.replace(/0+$/, "");
  if (whole === "0" && fraction === "") negative = false;
  return (negative ? "-" : "") + whole + (fraction ? "." + fraction : "");
}

function doubleBits(number) {
  if (Number.isNaN(number)) return "f:nan";
  const buffer = Buffer.alloc(8);
  buffer.writeDoubleBE(number);
  return "f:" + buffer.toString("hex");
}

function normalise(type, value) {
  if (value === null || value === undefined) return "null";
  switch (type) {
    case "boolean":
      return value ? "true" : "false";
    case "byte":
    case "integer":
    case "long":
      return String(value);
    case "currency":
    case "numeric":
      return canonicalDecimal(value);
    case "float":
    case "double":
      return doubleBits(value);
    case "datetime": {
      const ms = value.getTime();
      return Number.isNaN(ms) ? "t:invalid" : "t:" + String(ms);
    }
    case "binary":
    case "ole":
      return "x:" + Buffer.from(value).toString("hex");
    case "repid":
      return "g:" + String(value).toLowerCase().replace(/[{}]/g, "");
    case "text":
    case "memo":
      return JSON.stringify(value);
    default:
      return "?";
  }
}

function dumpTable(reader, name, out) {
  out.push(`table\t${JSON.stringify(name)}`);
  try {
    const table = reader.getTable(name);
    const columns = table.getColumns();
    const rows = table.getData();
    out.push(`count\t${table.rowCount}`);
    out.push(["columns", ...columns.map((c) => JSON.stringify(c.name))].join("\t"));
    for (const row of rows) {
      out.push(["row", ...columns.map((c) => normalise(c.type, row[c.name]))].join("\t"));
    }
  } catch (error) {
    out.push(`error\t${JSON.stringify(String(error && error.message ? error.message : error))}`);
  }
}

const [file, ...tables] = process.argv.slice(2);
if (!file) {
  process.stderr.write("usage: node dump.mjs FILE [TABLE ...]\n");
  process.exit(2);
}
let reader;
try {
  reader = new MDBReader(readFileSync(file));
} catch (error) {
  process.stdout.write(`error\t${JSON.stringify(String(error && error.message ? error.message : error))}\n`);
  process.exit(1);
}
const names = tables.length
  ? tables
  : reader.getTableNames({ normalTables: true, systemTables: true, linkedTables: false });
const out = [];
for (const name of names) dumpTable(reader, name, out);
process.stdout.write(out.join("\n") + (out.length ? "\n" : ""));
