// Parameter records (1600 bytes each, back to back in one handle) and change masks,
// as the host reads and writes them.
#pragma once

#include "HostRecords.hpp"
#include "standin/LibParts.hpp"

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

namespace standin::records {

bool TerminatedWithin(const GS::uchar_t* field, std::size_t units);
bool TerminatedWithin(const char* field, std::size_t bytes);
// The text up to its terminator; the field must hold one.
std::u16string FieldUnits(const GS::uchar_t* field, std::size_t units);

// Decodes and checks a parameter list the add-on hands over (tables from any owner).
GSErrCode DecodeParameters(GSHandle handle, std::vector<PartParameter>& out);
// A new parameter list of the host's own, its text tables included.
GSHandle EncodeParameters(const std::vector<PartParameter>& parameters);
// Releases a parameter list of the host's own with its text tables.
GSErrCode ReleaseParameters(GSHandle* handle);

// Non-zero when a byte other than the first of an allowed field is set, or a mark is not 0xFF.
GSErrCode CheckMask(const HostInterface::ElementRecord& mask, std::initializer_list<std::size_t> allowed);
bool Marked(const HostInterface::ElementRecord& mask, std::size_t offset);
// Where an element type keeps its library index: objects and lamps at 312, the others at 216.
std::size_t LibIndexOffset(std::int32_t elementType);
// A change mask that marks nothing but a, b and the type's library index.
GSErrCode CheckElementMask(const HostInterface::ElementRecord& mask, std::int32_t elementType);
// True when every byte outside [from, to) is zero.
bool ZeroOutside(const void* record, std::size_t size, std::size_t from, std::size_t to);

}  // namespace standin::records
