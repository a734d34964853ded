// Reading an XML file strictly. The XML library builds what it can of almost any
// text: it cuts a value at "&#0;", keeps an unknown entity reference as text, drops a
// lone surrogate and takes a second root element. A file read for its values is
// checked as XML 1.0 asks before a reader takes anything from it.
#pragma once

#include <pugixml.hpp>

#include <istream>
#include <string>
#include <string_view>

namespace ostrel::importers {

// Reads the whole stream into the document, in the encoding the XML library would
// detect (a byte order mark, UTF-16 or UTF-32 without one, a declared ISO-8859-1,
// UTF-8 otherwise), and checks it as well-formed XML 1.0: every character one XML
// carries (raw, as UTF-8 or UTF-16, or as a character reference), every "&" the start
// of a character reference or of one of the five predefined entity references (the
// DTD is not read), one root element and no text beside it, and what the parser
// itself checks. Returns "" for a well-formed file, otherwise what is wrong followed by
// " at offset " and the byte offset of that place in the file: the first character or
// reference that is wrong, else the parser's error, else what stands beside the root.
// The document holds what the parser built in both cases.
std::string LoadWellFormed(pugi::xml_document& document, std::istream& stream);
// The same for bytes in memory.
std::string LoadWellFormed(pugi::xml_document& document, std::string_view bytes);

// The encoding the XML library detects for a file beginning with these bytes.
pugi::xml_encoding DetectXmlEncoding(std::string_view bytes);

}  // namespace ostrel::importers
