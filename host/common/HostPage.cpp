// SPDX-License-Identifier: Apache-2.0
#include "host/common/HostPage.h"

#include "control/resources/TypeLibrary.h"
#include "host/common/ControlObject.h"
#include "host/common/HostPageFetch.h"
#include "host/common/PageEncoding.h"
#include "platform/kernel/LazyLibrary.h"
#include "platform/text/Utf8.h"

#include <libxml/HTMLparser.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace {

struct DocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocFree>;

// Recover as browsers do, stay quiet about the markup's faults (the page's
// author gets a clear message about what matters instead), and never let a
// DTD or entity reference reach out to the network. The page is decoded
// beforehand and handed over as UTF-8, which the parser is told to use
// whatever the page's own <meta> says.
constexpr int kParseOptions =
    HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET;

HostPageResult Failure(const std::string& pageName, const std::string& reason) {
    return {false, {}, "host page " + pageName + ": " + reason, {}};
}

// The HTML parser gives element and attribute names in lower case.
bool IsElement(const xmlNode* node, const char* name) {
    return node->type == XML_ELEMENT_NODE && xmlStrEqual(node->name, BAD_CAST name);
}

/// The value of the first attribute `name`: the text of its child nodes
/// (the HTML parser has already replaced entity references in them).
std::optional<std::string> Attribute(const xmlNode* node, const char* name) {
    for (const xmlAttr* attribute = node->properties; attribute != nullptr;
         attribute = attribute->next) {
        if (!xmlStrEqual(attribute->name, BAD_CAST name)) {
            continue;
        }
        std::string value;
        for (const xmlNode* text = attribute->children; text != nullptr; text = text->next) {
            if (text->content != nullptr) {
                value += reinterpret_cast<const char*>(text->content);
            }
        }
        return value;
    }
    return std::nullopt;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

/// True when `element` ends with its </object> end tag.
bool EndsWithEndTag(std::string_view element) {
    const std::size_t open = element.rfind("</");
    if (open == std::string_view::npos || open == 0) {
        return false;
    }
    std::string_view tag = element.substr(open + 2);
    return tag.size() >= 7 && EqualIgnoringAsciiCase(tag.substr(0, 6), "object");
}

/// The node after `node` in document order, walking without recursion so
/// that a deeply nested page cannot exhaust the stack.
const xmlNode* NextInDocument(const xmlNode* node) {
    if (node->type == XML_ELEMENT_NODE && node->children != nullptr) {
        return node->children;
    }
    for (; node != nullptr && node->type != XML_HTML_DOCUMENT_NODE; node = node->parent) {
        if (node->next != nullptr) {
            return node->next;
        }
    }
    return nullptr;
}

struct ObjectSearch {
    const xmlNode* control = nullptr; // the first <object> for the control
    const xmlNode* first = nullptr;   // the first <object> with a classid
    std::string firstClassId;
    int others = 0; // <object> elements that are not the control's
};

ObjectSearch FindControlObject(const xmlDoc* doc, const std::string& classId) {
    ObjectSearch search;
    for (const xmlNode* node = doc->children; node != nullptr; node = NextInDocument(node)) {
        if (!IsElement(node, "object")) {
            continue;
        }
        const std::optional<std::string> id = Attribute(node, "classid");
        if (id && EqualIgnoringAsciiCase(*id, classId)) {
            search.control = node;
            return search;
        }
        if (id && search.first == nullptr) {
            search.first = node;
            search.firstClassId = *id;
        }
        ++search.others;
    }
    return search;
}

std::string NoObjectReason(const std::string& classId, int others) {
    std::string reason = "no <object> element with classid " + classId;
    if (others > 0) {
        reason += " (found " + std::to_string(others) + " other <object> element" +
                  (others == 1 ? ")" : "s)");
    }
    return reason;
}

/// The <param> children of the control's object; nullopt when it has none.
std::optional<PropertyBag> CollectParams(const xmlNode* object) {
    bool anyParam = false;
    PropertyBag params;
    for (const xmlNode* child = object->children; child != nullptr; child = child->next) {
        if (!IsElement(child, "param")) {
            continue;
        }
        anyParam = true;
        const std::optional<std::string> name = Attribute(child, "name");
        if (!name || name->empty()) {
            continue; // no key could ever look it up
        }
        // try_emplace keeps the first value of a repeated name.
        params.try_emplace(Utf8ToUtf16(*name), Utf8ToUtf16(Attribute(child, "value").value_or("")));
    }
    if (!anyParam) {
        return std::nullopt;
    }
    return params;
}

} // namespace

std::string ControlClassId() {
    const std::u16string braced = GuidToString(CLSID_Dravik);
    return "clsid:" + Utf16ToUtf8(std::u16string_view(braced).substr(1, braced.size() - 2));
}

namespace {

HostPageResult ParseWithLibxml(std::string_view text, const std::string& pageName) {
    const std::string classId = ControlClassId();
    // The element the browser would make the control of is found as the
    // proxy finds it; only its markup is parsed for the parameters. A page
    // without one is parsed whole to say which other object it has, but an
    // object for the control there (inside a textarea, say) is none.
    const std::optional<ControlObjectSpan> span = ::FindControlObject(text);
    std::string_view parsed = text;
    if (span) {
        // An element left open holds the rest of the page, as in a browser.
        const std::string_view element = text.substr(span->begin, span->end - span->begin);
        parsed = EndsWithEndTag(element) ? element : text.substr(span->begin);
    }
    // An empty page gives no document at all; it simply holds no object.
    const DocPtr doc(htmlReadMemory(parsed.data(), static_cast<int>(parsed.size()), nullptr,
                                    "UTF-8", kParseOptions));
    ObjectSearch search = doc ? FindControlObject(doc.get(), classId) : ObjectSearch{};
    if (!span && search.control != nullptr) {
        search.control = nullptr;
        ++search.others;
    }
    if (search.control == nullptr && search.first != nullptr) {
        // Another class: the host tells the user which, so no parameters
        // are needed here.
        HostPageResult other{true, CollectParams(search.first).value_or(PropertyBag{}), {}, {}};
        other.classId = search.firstClassId;
        return other;
    }
    if (search.control == nullptr) {
        return Failure(pageName, NoObjectReason(classId, search.others));
    }
    std::optional<PropertyBag> params = CollectParams(search.control);
    if (!params) {
        return Failure(pageName, "the <object> element has no <param> children");
    }
    HostPageResult found{true, std::move(*params), {}, {}};
    found.classId = Attribute(search.control, "classid").value_or(classId);
    return found;
}

} // namespace

#ifdef DRAVIK_LAZY_XML2
extern "C" const DravikLazyGroup dravik_lazy_xml2_library;
#endif

HostPageResult ParseHostPage(std::string_view bytes, const std::string& pageName,
                             std::string_view httpCharset) {
    if (bytes.size() > kMaxHostPageBytes) {
        return Failure(pageName, PageTooLargeReason());
    }
    const DecodedPage page = DecodePage(bytes, httpCharset);
    // A command parses its page once, at the start; libxml2 and ICU, which
    // it pulls in, would otherwise stay mapped through the whole crawl.
    static std::mutex parsing;
    const std::lock_guard lock(parsing);
    HostPageResult result = ParseWithLibxml(page.text, pageName);
#if defined(DRAVIK_LAZY_XML2) && !defined(__SANITIZE_ADDRESS__)
    // (The leak checker cannot look into an unloaded library's globals.)
    xmlCleanupParser();
    DravikLazyRelease(&dravik_lazy_xml2_library);
#endif
    return result;
}

HostPageResult ReadHostPage(const std::string& pageArgument) {
    const PageBytes page =
        LooksLikeUrl(pageArgument) ? FetchPageUrl(pageArgument) : ReadPageFile(pageArgument);
    if (!page.ok) {
        return Failure(pageArgument, page.reason);
    }
    return ParseHostPage(page.bytes, pageArgument, page.charset);
}
