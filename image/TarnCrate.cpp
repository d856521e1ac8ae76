// One crate descriptor: the fields that make up the crate id, and the
// software tag that restricts the crate's sticky files.
#include <exception>
#include <stdexcept>

#include "image/tarn_image.h"

namespace TarnImage {

TarnImage::TarnCrate::TarnCrate(const std::string& path) {
    doc = ParseXmlFile(path);
    if (!doc) throw std::runtime_error("Cannot parse crate xml file: " + path);
    xpath.reset(xmlXPathNewContext(doc.get()));
    if (!xpath) {
        doc.reset();
        throw std::runtime_error("Failed to create xpath context for crate.");
    }
    try {
        ParseXml();
    } catch (const std::exception&) {
        xpath.reset();
        doc.reset();
        throw std::exception();
    }
}

template <typename Result>
Result TarnImage::TarnCrate::ExecuteXpathExpr(const std::string& expr,
                                              const std::function<Result(TarnCrate&, xmlNodeSet*)>& handler) {
    XPathObject result(xmlXPathEvalExpression(BAD_CAST expr.c_str(), xpath.get()));
    if (!result) throw std::runtime_error("Cannot allocate memory for xpath operation.");
    return handler(*this, result->nodesetval);
}

void TarnImage::TarnCrate::ParseXml() {
    const std::function<std::string(TarnCrate&, xmlNodeSet*)> text = &TarnCrate::GetXmlStringNode;
    name = ExecuteXpathExpr("/crate/name", text);
    version = ExecuteXpathExpr("/crate/version", text);
    vendor = ExecuteXpathExpr("/crate/vendor", text);
    type = ExecuteXpathExpr("/crate/type", text);
    restrictStickyFiles = ExecuteXpathExpr<bool>("/crate/software-tags/tag[.='RestrictStickyFiles']",
                                                 &TarnCrate::GetXmlRestrictStickyFiles);
}

std::string TarnImage::TarnCrate::GetXmlStringNode(xmlNodeSet* nodes) {
    if (!nodes || nodes->nodeNr == 0) return "";
    return TakeText(xmlNodeGetContent(nodes->nodeTab[0]));
}

bool TarnImage::TarnCrate::GetXmlRestrictStickyFiles(xmlNodeSet* nodes) { return nodes && nodes->nodeNr > 0; }

} // namespace TarnImage
