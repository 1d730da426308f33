#include "Feed.hpp"

#include <charconv>
#include <cstring>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include "Version.hpp"

namespace corvane::update {

namespace {

constexpr const char* kSparkle = "http://www.andymatuschak.org/xml-namespaces/sparkle";

bool isSparkle(const xmlNs* ns) {
    return ns && ns->href && std::strcmp(reinterpret_cast<const char*>(ns->href), kSparkle) == 0;
}

bool named(const xmlNode* node, const char* name, bool sparkle) {
    if (node->type != XML_ELEMENT_NODE || std::strcmp(reinterpret_cast<const char*>(node->name), name) != 0)
        return false;
    return sparkle ? isSparkle(node->ns) : !isSparkle(node->ns);
}

std::string text(const xmlNode* node) {
    xmlChar* content = xmlNodeGetContent(node);
    std::string out = content ? reinterpret_cast<const char*>(content) : "";
    xmlFree(content);
    const auto first = out.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "";
    return out.substr(first, out.find_last_not_of(" \t\r\n") - first + 1);
}

std::string attribute(const xmlNode* node, const char* name, bool sparkle) {
    xmlChar* value =
        sparkle ? xmlGetNsProp(node, reinterpret_cast<const xmlChar*>(name), reinterpret_cast<const xmlChar*>(kSparkle))
                : xmlGetNoNsProp(node, reinterpret_cast<const xmlChar*>(name));
    std::string out = value ? reinterpret_cast<const char*>(value) : "";
    xmlFree(value);
    return out;
}

std::optional<std::uint64_t> number(const std::string& s) {
    std::uint64_t value = 0;
    auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || error != std::errc{} || end != s.data() + s.size()) return std::nullopt;
    return value;
}

// No field of a real appcast comes near this; a longer one is not an item to trust.
constexpr std::size_t kMaxFieldBytes = 256 * 1024;

std::optional<FeedItem> readItem(const xmlNode* item) {
    FeedItem out;
    const xmlNode* enclosure = nullptr;
    for (const xmlNode* child = item->children; child; child = child->next) {
        if (named(child, "version", true)) out.version = text(child);
        else if (named(child, "shortVersionString", true)) out.displayVersion = text(child);
        else if (named(child, "releaseNotesLink", true)) out.releaseNotesURL = text(child);
        else if (named(child, "title", false)) out.title = text(child);
        else if (named(child, "description", false)) out.description = text(child);
        else if (named(child, "enclosure", false) && !enclosure && attribute(child, "os", true) == "linux")
            enclosure = child;
    }
    if (!enclosure) return std::nullopt;
    // Older feeds put the versions on the enclosure.
    if (out.version.empty()) out.version = attribute(enclosure, "version", true);
    if (out.displayVersion.empty()) out.displayVersion = attribute(enclosure, "shortVersionString", true);
    if (out.displayVersion.empty()) out.displayVersion = out.version;
    out.url = attribute(enclosure, "url", false);
    out.signature = attribute(enclosure, "edSignature", true);
    auto length = number(attribute(enclosure, "length", false));
    if (out.version.empty() || out.url.empty() || out.signature.empty() || !length || *length == 0) return std::nullopt;
    out.length = *length;
    for (const std::string* field : {&out.version, &out.displayVersion, &out.title, &out.releaseNotesURL,
                                     &out.description, &out.url, &out.signature})
        if (field->size() > kMaxFieldBytes) return std::nullopt;
    return out;
}

} // namespace

std::optional<std::vector<FeedItem>> parseFeed(std::string_view xml) {
    std::vector<FeedItem> items;
    if (xml.size() > INT32_MAX) return std::nullopt;
    // A feed is unsigned: a DTD could declare entities that expand to gigabytes, or load files. The parse
    // stops at the first <!DOCTYPE>, before any declaration in it is read.
    xmlParserCtxt* ctxt = xmlNewParserCtxt();
    if (!ctxt) return std::nullopt;
    ctxt->sax->internalSubset =
        +[](void* c, const xmlChar*, const xmlChar*, const xmlChar*) { xmlStopParser(static_cast<xmlParserCtxt*>(c)); };
    xmlDoc* doc = xmlCtxtReadMemory(ctxt, xml.data(), static_cast<int>(xml.size()), "feed.xml", nullptr,
                                    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    xmlFreeParserCtxt(ctxt);
    if (!doc) return std::nullopt;
    if (doc->intSubset || doc->extSubset) {
        xmlFreeDoc(doc);
        return std::nullopt;
    }
    const xmlNode* root = xmlDocGetRootElement(doc);
    if (!root || !named(root, "rss", false)) {
        xmlFreeDoc(doc);
        return std::nullopt;
    }
    for (const xmlNode* channel = root->children; channel; channel = channel->next)
        if (named(channel, "channel", false))
            for (const xmlNode* item = channel->children; item; item = item->next)
                if (named(item, "item", false))
                    if (auto parsed = readItem(item)) items.push_back(std::move(*parsed));
    xmlFreeDoc(doc);
    return items;
}

std::optional<FeedItem> newestUpdate(const std::vector<FeedItem>& items, std::string_view running) {
    const FeedItem* best = nullptr;
    for (const auto& item : items)
        if (core::Version::compare(item.version, running) > 0 &&
            (!best || core::Version::compare(item.version, best->version) > 0))
            best = &item;
    if (!best) return std::nullopt;
    return *best;
}

} // namespace corvane::update
