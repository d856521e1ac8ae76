// Owning handles of the image reader: libxml2 documents, XPath contexts and
// results, libxml2 strings and C streams. Each frees its
// resource with the library's own call when it goes.
#pragma once

#include <dirent.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <cstdio>
#include <memory>
#include <string>

namespace TarnImage {

struct XmlDocFree { void operator()(xmlDoc* p) const { xmlFreeDoc(p); } };
struct XPathContextFree { void operator()(xmlXPathContext* p) const { xmlXPathFreeContext(p); } };
struct XPathObjectFree { void operator()(xmlXPathObject* p) const { xmlXPathFreeObject(p); } };
struct XmlCharFree { void operator()(xmlChar* p) const { xmlFree(p); } };
struct FileClose { void operator()(FILE* p) const { std::fclose(p); } };

using XmlDoc = std::unique_ptr<xmlDoc, XmlDocFree>;
using XPathContext = std::unique_ptr<xmlXPathContext, XPathContextFree>;
using XPathObject = std::unique_ptr<xmlXPathObject, XPathObjectFree>;
using XmlString = std::unique_ptr<xmlChar, XmlCharFree>;
using File = std::unique_ptr<FILE, FileClose>;

// The text of a libxml2 string it takes over; empty for none.
std::string TakeText(xmlChar* text);

// Parses the XML file at path: only a regular file (a symbolic link, FIFO or
// device is refused without being opened for reading or waited on) of at
// most kMaxXmlFileBytes, without network access, external entities, an
// external DTD or decompression. None when it cannot be read or parsed.
inline constexpr long kMaxXmlFileBytes = 64L << 20;
XmlDoc ParseXmlFile(const std::string& path);

// Opens path as a C stream for writing, created with mode 0644 when absent,
// truncated (mode "w" or "w+"), not followed when it is a symbolic link and
// not inherited by programs started later. None on failure.
File OpenForWriting(const std::string& path, const char* mode);

// True when the directory entry of dir is a regular file (not a link).
bool IsRegularFile(const std::string& dir, const dirent& entry);

} // namespace TarnImage
