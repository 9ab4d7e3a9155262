// The smallest .xlsx a spreadsheet reads as the workbook's author meant it: inline strings, one
// style for date-times and one for text, a frozen heading row with a filter; the zip's parts
// stored with their CRC-32, dated 1980-01-01 so that the same workbook is the same bytes.
#include "record/Workbook.h"

#include "record/ReportTally.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace {

using ReportParts::Pieces;

// The cell styles of kStyles, by their index.
enum Style { kPlain = 0, kDateTime = 1, kTextStyle = 2, kHeading = 3 };

constexpr char kXmlHead[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
constexpr char kMain[] = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr char kRelations[] = "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr char kOfficeRelations[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr char kContentTypes[] = "application/vnd.openxmlformats-officedocument.spreadsheetml.";

// Number format 49 is text ("@"): a cell edited later stays text too.
constexpr char kStyles[] =
    "<numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"yyyy-mm-dd hh:mm:ss.000\"/>"
    "</numFmts><fonts count=\"2\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font>"
    "<font><b/><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts><fills count=\"2\">"
    "<fill><patternFill patternType=\"none\"/></fill><fill><patternFill patternType=\"gray125\"/>"
    "</fill></fills><borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/>"
    "</border></borders><cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" "
    "borderId=\"0\"/></cellStyleXfs><cellXfs count=\"4\">"
    "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
    "<xf numFmtId=\"164\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" "
    "applyNumberFormat=\"1\"/>"
    "<xf numFmtId=\"49\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" "
    "applyNumberFormat=\"1\"/>"
    "<xf numFmtId=\"49\" fontId=\"1\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyFont=\"1\" "
    "applyNumberFormat=\"1\"/></cellXfs><cellStyles count=\"1\"><cellStyle name=\"Normal\" "
    "xfId=\"0\" builtinId=\"0\"/></cellStyles>";

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Text as XML character data. Characters XML cannot carry (controls other than tab and line
// feed, U+FFFE, U+FFFF) and an underscore that would read as such an escape become _xHHHH_, which
// spreadsheets read back as the character; a CR stays a CR.
std::string XmlText(const std::string& text) {
    std::string xml;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const bool escapeLike = c == '_' && i + 6 < text.size() && text[i + 1] == 'x' &&
                                std::all_of(text.begin() + i + 2, text.begin() + i + 6, IsHex) &&
                                text[i + 6] == '_';
        const bool nonCharacter = c == 0xEF && i + 2 < text.size() && text[i + 1] == '\xBF' &&
                                  (text[i + 2] == '\xBE' || text[i + 2] == '\xBF');
        if (c == '&') {
            xml += "&amp;";
        } else if (c == '<') {
            xml += "&lt;";
        } else if (c == '>') {
            xml += "&gt;";
        } else if (c == '"') {
            xml += "&quot;";
        } else if (c == '\r') {
            xml += "&#13;";
        } else if ((c < 0x20 && c != '\t' && c != '\n') || escapeLike || nonCharacter) {
            static const char kHex[] = "0123456789ABCDEF";
            const unsigned code = nonCharacter ? (text[i + 2] == '\xBE' ? 0xFFFE : 0xFFFF) : c;
            xml += "_x";
            for (int shift = 12; shift >= 0; shift -= 4) {
                xml += kHex[(code >> shift) & 0xF];
            }
            xml += "_";
            i += nonCharacter ? 2 : 0;
        } else {
            xml += static_cast<char>(c);
        }
    }
    return xml;
}

// "A", "B", ... "Z", "AA", ...
std::string ColumnName(std::size_t index) {
    std::string name;
    for (++index; index > 0; index = (index - 1) / 26) {
        name.insert(name.begin(), static_cast<char>('A' + (index - 1) % 26));
    }
    return name;
}

std::size_t Characters(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string CellXml(const SheetCell& cell, const std::string& place, bool heading) {
    switch (cell.kind) {
    case SheetCell::Kind::kEmpty:
        return {};
    case SheetCell::Kind::kNumber:
        return "<c r=\"" + place + "\"><v>" + cell.text + "</v></c>";
    case SheetCell::Kind::kTime:
        return "<c r=\"" + place + "\" s=\"" + std::to_string(kDateTime) + "\"><v>" + cell.text +
               "</v></c>";
    case SheetCell::Kind::kText:
        break;
    }
    return "<c r=\"" + place + "\" s=\"" + std::to_string(heading ? kHeading : kTextStyle) +
           "\" t=\"inlineStr\"><is><t xml:space=\"preserve\">" + XmlText(cell.text) +
           "</t></is></c>";
}

// What the rows of a sheet come to: how many, how many columns, how wide each.
struct SheetShape {
    std::size_t rows = 0;
    std::vector<std::size_t> widths;
};

// Each column as wide as its longest text (a date-time's shown form), within bounds.
SheetShape ShapeOf(const Sheet& sheet) {
    SheetShape shape;
    sheet.rows([&shape](const SheetRow& row) {
        ++shape.rows;
        shape.widths.resize(std::max(shape.widths.size(), row.size()), 8);
        for (std::size_t i = 0; i < row.size(); ++i) {
            const bool time = row[i].kind == SheetCell::Kind::kTime;
            shape.widths[i] = std::clamp<std::size_t>(time ? 23 : Characters(row[i].text) + 2,
                                                      shape.widths[i], 60);
        }
    });
    return shape;
}

// The whole sheet's range, "A1:V25", or as a defined name takes it, "$A$1:$V$25".
std::string Range(const SheetShape& shape, bool absolute = false) {
    const std::size_t columns = std::max<std::size_t>(1, shape.widths.size());
    const std::string anchor = absolute ? "$" : "";
    return anchor + "A" + anchor + "1:" + anchor + ColumnName(columns - 1) + anchor +
           std::to_string(std::max<std::size_t>(1, shape.rows));
}

void WriteSheetXml(const Sheet& sheet, const SheetShape& shape, const ReportSink& out) {
    Pieces xml(out);
    xml += std::string(kXmlHead) + "<worksheet xmlns=\"" + kMain + "\"><dimension ref=\"" +
           Range(shape) +
           "\"/><sheetViews><sheetView workbookViewId=\"0\"><pane ySplit=\"1\" "
           "topLeftCell=\"A2\" activePane=\"bottomLeft\" state=\"frozen\"/>"
           "</sheetView></sheetViews><sheetFormatPr defaultRowHeight=\"15\"/><cols>";
    for (std::size_t i = 0; i < shape.widths.size(); ++i) {
        xml += "<col min=\"" + std::to_string(i + 1) + "\" max=\"" + std::to_string(i + 1) +
               "\" width=\"" + std::to_string(shape.widths[i]) + "\" customWidth=\"1\"/>";
    }
    xml += "</cols><sheetData>";
    std::size_t r = 0;
    sheet.rows([&](const SheetRow& row) {
        std::string line = "<row r=\"" + std::to_string(r + 1) + "\">";
        for (std::size_t c = 0; c < row.size(); ++c) {
            line += CellXml(row[c], ColumnName(c) + std::to_string(r + 1), r == 0);
        }
        xml += line + "</row>";
        ++r;
    });
    xml += "</sheetData><autoFilter ref=\"" + Range(shape) + "\"/></worksheet>";
    xml.Flush();
}

std::string Relationship(std::size_t id, const std::string& type, const std::string& target) {
    return "<Relationship Id=\"rId" + std::to_string(id) + "\" Type=\"" + kOfficeRelations + "/" +
           type + "\" Target=\"" + target + "\"/>";
}

std::string WorkbookXml(const std::vector<Sheet>& sheets, const std::vector<SheetShape>& shapes) {
    std::string list;
    std::string filters;
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        const std::string id = std::to_string(i + 1);
        list += "<sheet name=\"" + XmlText(sheets[i].name) + "\" sheetId=\"" + id +
                "\" r:id=\"rId" + id + "\"/>";
        // The name a filter needs; the sheet's name quoted, its quotes doubled.
        std::string quoted;
        for (const char c : sheets[i].name) {
            quoted += c == '\'' ? "''" : std::string(1, c);
        }
        filters += "<definedName name=\"_xlnm._FilterDatabase\" localSheetId=\"" +
                   std::to_string(i) + "\" hidden=\"1\">'" + XmlText(quoted) + "'!" +
                   Range(shapes[i], true) + "</definedName>";
    }
    return std::string(kXmlHead) + "<workbook xmlns=\"" + kMain + "\" xmlns:r=\"" +
           kOfficeRelations + "\"><sheets>" + list + "</sheets><definedNames>" + filters +
           "</definedNames></workbook>";
}

// The zip's parts: their names, and their contents, fixed or a sheet's.
struct Part {
    std::string name;
    std::string text;
    const Sheet* sheet = nullptr;
    const SheetShape* shape = nullptr;

    void Write(const ReportSink& out) const {
        if (sheet != nullptr) {
            WriteSheetXml(*sheet, *shape, out);
        } else {
            out(text);
        }
    }
};

Part FixedPart(std::string name, std::string text) {
    return {std::move(name), std::move(text)};
}

std::vector<Part> Parts(const std::vector<Sheet>& sheets, const std::vector<SheetShape>& shapes) {
    std::string types =
        std::string(kXmlHead) +
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/"
        "content-types\"><Default Extension=\"rels\" ContentType=\"application/"
        "vnd.openxmlformats-package.relationships+xml\"/><Default Extension=\"xml\" "
        "ContentType=\"application/xml\"/><Override PartName=\"/xl/workbook.xml\" "
        "ContentType=\"" +
        kContentTypes +
        "sheet.main+xml\"/><Override PartName=\"/xl/styles.xml\" "
        "ContentType=\"" +
        kContentTypes + "styles+xml\"/>";
    std::string relations = std::string(kXmlHead) + "<Relationships xmlns=\"" + kRelations + "\">";
    std::vector<Part> parts;
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        const std::string name = "worksheets/sheet" + std::to_string(i + 1) + ".xml";
        types += "<Override PartName=\"/xl/" + name + "\" ContentType=\"" + kContentTypes +
                 "worksheet+xml\"/>";
        relations += Relationship(i + 1, "worksheet", name);
        parts.push_back({"xl/" + name, {}, &sheets[i], &shapes[i]});
    }
    relations += Relationship(sheets.size() + 1, "styles", "styles.xml") + "</Relationships>";
    parts.insert(
        parts.begin(),
        {FixedPart("[Content_Types].xml", types + "</Types>"),
         FixedPart("_rels/.rels", std::string(kXmlHead) + "<Relationships xmlns=\"" + kRelations +
                                      "\">" + Relationship(1, "officeDocument", "xl/workbook.xml") +
                                      "</Relationships>"),
         FixedPart("xl/workbook.xml", WorkbookXml(sheets, shapes)),
         FixedPart("xl/_rels/workbook.xml.rels", relations),
         FixedPart("xl/styles.xml", std::string(kXmlHead) + "<styleSheet xmlns=\"" + kMain + "\">" +
                                        kStyles + "</styleSheet>")});
    return parts;
}

// CRC-32 as zip takes it, a piece at a time: start from 0.
std::uint32_t Crc32(std::uint32_t crc, std::string_view bytes) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> entries{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            entries[n] = c;
        }
        return entries;
    }();
    crc = ~crc;
    for (const char byte : bytes) {
        crc = table[(crc ^ static_cast<unsigned char>(byte)) & 0xFF] ^ (crc >> 8);
    }
    return ~crc;
}

// Little-endian fields of a zip header.
void Put(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

struct Measured {
    std::uint32_t crc = 0;
    std::uint64_t size = 0;
};

// The fields a local header and its central directory entry share: version 2.0, no flags, stored,
// 1980-01-01 00:00, CRC, sizes, name length, no extra field.
std::string CommonFields(const std::string& name, const Measured& measured) {
    std::string fields;
    Put(fields, 20, 2);
    Put(fields, 0, 2);
    Put(fields, 0, 2);
    Put(fields, 0, 2);
    Put(fields, (0 << 9) | (1 << 5) | 1, 2);
    Put(fields, measured.crc, 4);
    Put(fields, static_cast<std::uint32_t>(measured.size), 4);
    Put(fields, static_cast<std::uint32_t>(measured.size), 4);
    Put(fields, static_cast<std::uint32_t>(name.size()), 2);
    Put(fields, 0, 2);
    return fields;
}

} // namespace

bool XlsxFile(const std::vector<Sheet>& sheets, const ReportSink& out) {
    std::vector<SheetShape> shapes;
    for (const Sheet& sheet : sheets) {
        shapes.push_back(ShapeOf(sheet));
        if (shapes.back().rows > kMaxSheetRows) {
            return false;
        }
    }
    const std::vector<Part> parts = Parts(sheets, shapes);
    std::vector<Measured> measured;
    std::uint64_t total = 0;
    for (const Part& part : parts) {
        Measured size;
        part.Write([&size](std::string_view piece) {
            size.crc = Crc32(size.crc, piece);
            size.size += piece.size();
        });
        measured.push_back(size);
        total += 30 + 46 + 2 * part.name.size() + size.size;
    }
    if (total + 22 > 0xFFFFFFFFu) {
        return false;
    }
    std::string directory;
    std::uint64_t offset = 0;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string common = CommonFields(parts[i].name, measured[i]);
        std::string header;
        Put(header, 0x04034B50, 4);
        header += common + parts[i].name;
        out(header);
        parts[i].Write(out);
        Put(directory, 0x02014B50, 4);
        Put(directory, 20, 2); // made by: MS-DOS attributes, version 2.0
        directory += common;
        Put(directory, 0, 2); // comment
        Put(directory, 0, 2); // disk
        Put(directory, 0, 2); // internal attributes
        Put(directory, 0, 4); // external attributes
        Put(directory, static_cast<std::uint32_t>(offset), 4);
        directory += parts[i].name;
        offset += header.size() + measured[i].size;
    }
    std::string end = directory;
    Put(end, 0x06054B50, 4);
    Put(end, 0, 4); // this disk, the directory's disk
    Put(end, static_cast<std::uint32_t>(parts.size()), 2);
    Put(end, static_cast<std::uint32_t>(parts.size()), 2);
    Put(end, static_cast<std::uint32_t>(directory.size()), 4);
    Put(end, static_cast<std::uint32_t>(offset), 4);
    Put(end, 0, 2); // comment
    out(end);
    return true;
}
