// Reading a placed product's catalogue parameters back for the configurator, and the
// configurator's start-options XML.
#pragma once

#include "GSRoot.hpp"
#include "HostRecords.hpp"

#include <cstdint>
#include <string>

namespace tarvel {

// The element GUID of the one selected item when the selection is accepted: read without
// error, both counts 1, exactly one item of element type 4, 5, 6, 7 or 44. The selection's
// handle is released whatever the answer.
bool ReadAcceptedSelection(GS::Guid& element);

// The text in a parameter record's name field, read within its 32 bytes.
std::string ParamRecordName(const HostInterface::ParamRecord& record);
// Equal by the host's text comparison (case mode 0, character code 0), within the name field.
bool ParamNameIs(const HostInterface::ParamRecord& record, const char* name);

// The parameter records of a parameter handle (count = handle size / 1600), copied out.
std::size_t ParamRecordCount(GSHandle params);
HostInterface::ParamRecord ParamRecordAt(GSHandle params, std::size_t i);

// The selected product's catalogue values and its start-options XML, every text as
// the UTF-8 of the stored UTF-16. True when one product was read; a value it does not
// carry leaves its output as it was. False (nothing accepted selected, no parameter
// list, a stored text with a lone surrogate, a model file or configuration cell with a
// character XML cannot carry: a control character, U+FFFE or U+FFFF) leaves every
// output unchanged.
bool ReadSelectedProductParameters(std::string& baseUrl, std::string& startOptionsXml, std::string& productId,
                                   std::string& productGroup, std::string& section, std::string& culture);

// The UTF-8 text for an XML attribute value: & " ' < > as entities, tab, line feed and
// carriage return as character references, every other byte as it is.
std::string XmlEscape(const std::string& text);

}  // namespace tarvel
