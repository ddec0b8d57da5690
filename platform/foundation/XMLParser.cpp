#include "platform/foundation/XMLParser.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlversion.h>

#include <algorithm>
#include <climits>
#include <exception>
#include <mutex>

#include "platform/foundation/URLLoading.h"

namespace platform {
namespace {

constexpr const char* kXMLParserErrorDomain = "NSXMLParserErrorDomain";
// The code the platform reports when a delegate stopped the parse.
constexpr int kDelegateAbortedParseError = 512;

std::string text(const xmlChar* characters) { return characters ? reinterpret_cast<const char*>(characters) : ""; }

std::string qualifiedName(const xmlChar* prefix, const xmlChar* localName) {
    if (!prefix) return text(localName);
    return text(prefix) + ":" + text(localName);
}

void initializeLibxml() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

}  // namespace

// Lives for one parse. The context's user data stays the context itself
// (libxml2's own SAX2 handlers, which keep the DTD's entity declarations for
// us, expect that); the parser is found through its _private field.
struct XMLParser::State {
    xmlParserCtxtPtr context = nullptr;
    bool aborted = false;
    long errorLine = 0;
    long errorColumn = 0;
    long lastLine = 0;
    long lastColumn = 0;
    // A delegate's exception (a fatal assertion, say) must not unwind
    // through libxml2's C frames, which would leak the context and leave the
    // library mid-parse; it is held here and rethrown once the parse is over.
    std::exception_ptr delegateException;

    void stop() {
        aborted = true;
        if (context) xmlStopParser(context);
    }

    template <typename Call>
    static void callDelegate(XMLParser& parser, Call call) {
        try {
            call(*parser.delegate_);
        } catch (...) {
            if (!parser.state_->delegateException) parser.state_->delegateException = std::current_exception();
            parser.state_->stop();
        }
    }

    static XMLParser& parserOf(void* context) {
        return *static_cast<XMLParser*>(static_cast<xmlParserCtxtPtr>(context)->_private);
    }

    static void startElement(void* context, const xmlChar* localName, const xmlChar* prefix, const xmlChar* URI,
                             int namespaceCount, const xmlChar** namespaces, int attributeCount, int,
                             const xmlChar** attributes) {
        XMLParser& parser = parserOf(context);
        if (!parser.delegate_ || parser.state_->aborted) return;
        std::map<std::string, std::string> attributeMap;
        // Namespace declarations are attributes as written in the text, so
        // the delegate sees them as such.
        for (int i = 0; i < namespaceCount; ++i) {
            const xmlChar* declaredPrefix = namespaces[2 * i];
            const std::string name = declaredPrefix ? "xmlns:" + text(declaredPrefix) : "xmlns";
            attributeMap[name] = text(namespaces[2 * i + 1]);
        }
        for (int i = 0; i < attributeCount; ++i) {
            const xmlChar** attribute = attributes + 5 * i;
            const xmlChar* value = attribute[3];
            const xmlChar* valueEnd = attribute[4];
            const int length = static_cast<int>(valueEnd - value);
            std::string decoded;
            // Without entity substitution libxml2 hands attribute values over
            // with references still in them ("&#38;" for "&amp;"); SAX2's own
            // tree builder decodes them the same way.
            if (std::find(value, valueEnd, '&') != valueEnd) {
                xmlChar* expanded = xmlStringLenDecodeEntities(static_cast<xmlParserCtxtPtr>(context), value, length,
                                                               XML_SUBSTITUTE_REF, 0, 0, 0);
                decoded = text(expanded);
                xmlFree(expanded);
            } else {
                decoded.assign(reinterpret_cast<const char*>(value), static_cast<std::size_t>(length));
            }
            attributeMap[qualifiedName(attribute[1], attribute[0])] = std::move(decoded);
        }
        const std::string name = qualifiedName(prefix, localName);
        callDelegate(parser, [&](XMLParserDelegate& delegate) {
            delegate.parserDidStartElementNamespaceURIQualifiedNameAttributes(parser, name, text(URI), name,
                                                                              attributeMap);
        });
    }

    static void endElement(void* context, const xmlChar* localName, const xmlChar* prefix, const xmlChar* URI) {
        XMLParser& parser = parserOf(context);
        if (!parser.delegate_ || parser.state_->aborted) return;
        const std::string name = qualifiedName(prefix, localName);
        callDelegate(parser, [&](XMLParserDelegate& delegate) {
            delegate.parserDidEndElementNamespaceURIQualifiedName(parser, name, text(URI), name);
        });
    }

    static void characters(void* context, const xmlChar* characters, int length) {
        XMLParser& parser = parserOf(context);
        if (!parser.delegate_ || parser.state_->aborted || length <= 0) return;
        const std::string found(reinterpret_cast<const char*>(characters), static_cast<std::size_t>(length));
        callDelegate(parser, [&](XMLParserDelegate& delegate) { delegate.parserFoundCharacters(parser, found); });
    }

    // External entities are never fetched: whatever a document names, the
    // answer is "not available", so a hostile file cannot pull in others.
    static xmlParserInputPtr resolveEntity(void*, const xmlChar*, const xmlChar*) { return nullptr; }

#if LIBXML_VERSION >= 21200
    static void structuredError(void* context, const xmlError* error) {
#else
    static void structuredError(void* context, xmlErrorPtr error) {
#endif
        if (!error || error->level < XML_ERR_ERROR) return;
        XMLParser& parser = parserOf(context);
        State& state = *parser.state_;
        if (state.aborted || parser.error_) return;
        std::string message = error->message ? error->message : "";
        while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
        parser.error_ = Error{kXMLParserErrorDomain, error->code, message, {}};
        state.errorLine = error->line;
        state.errorColumn = error->int2;
        // The first error ends the parse, even the ones libxml2 could recover
        // from: a document that is not namespace-well-formed is still broken.
        state.stop();
        if (parser.delegate_) {
            callDelegate(parser,
                         [&](XMLParserDelegate& delegate) { delegate.parserParseErrorOccurred(parser, *parser.error_); });
        }
    }
};

XMLParser::XMLParser(Data data) : data_(std::move(data)) {}

XMLParser::~XMLParser() = default;

std::unique_ptr<XMLParser> XMLParser::createWithData(Data data) {
    return std::unique_ptr<XMLParser>(new XMLParser(std::move(data)));
}

std::unique_ptr<XMLParser> XMLParser::createWithContentsOfURL(const URL& url) {
    if (!url.isFileURL()) return nullptr;
    URLLoadResult loaded = URLLoading::loadFileOrDataURL(url);
    if (loaded.error) return nullptr;
    return createWithData(std::move(loaded.data));
}

bool XMLParser::parse() {
    initializeLibxml();
    error_.reset();
    state_ = std::make_unique<State>();

    xmlSAXHandler handler{};
    // libxml2's SAX2 defaults keep the DTD (entity declarations among it);
    // the callbacks that would build a tree are replaced or switched off.
    xmlSAXVersion(&handler, 2);
    handler.startElementNs = &State::startElement;
    handler.endElementNs = &State::endElement;
    handler.characters = &State::characters;
    handler.ignorableWhitespace = &State::characters;
    handler.cdataBlock = &State::characters;
    handler.startElement = nullptr;
    handler.endElement = nullptr;
    handler.reference = nullptr;
    handler.comment = nullptr;
    handler.processingInstruction = nullptr;
    handler.externalSubset = nullptr;
    handler.resolveEntity = &State::resolveEntity;
    handler.serror = &State::structuredError;
    handler.warning = nullptr;
    handler.error = nullptr;
    handler.fatalError = nullptr;

    xmlParserCtxtPtr context = xmlCreatePushParserCtxt(&handler, nullptr, nullptr, 0, nullptr);
    if (!context) {
        error_ = Error{kXMLParserErrorDomain, XML_ERR_NO_MEMORY, "Could not create the XML parser", {}};
        if (delegate_) delegate_->parserParseErrorOccurred(*this, *error_);
        return false;
    }
    context->_private = this;
    state_->context = context;
    // No network, no entity substitution (so external entities stay
    // unloaded) and no external DTD; libxml2's default limits on entity
    // expansion stay on, as XML_PARSE_HUGE is left out.
    xmlCtxtUseOptions(context, XML_PARSE_NONET);

    constexpr std::size_t kChunk = 1 << 20;
    std::size_t offset = 0;
    do {
        const std::size_t length = std::min(kChunk, data_.size() - offset);
        const bool last = offset + length == data_.size();
        xmlParseChunk(context, reinterpret_cast<const char*>(data_.data() + offset), static_cast<int>(length),
                      last ? 1 : 0);
        offset += length;
    } while (offset < data_.size() && !state_->aborted);

    state_->lastLine = xmlSAX2GetLineNumber(context);
    state_->lastColumn = xmlSAX2GetColumnNumber(context);
    const bool wellFormed = context->wellFormed != 0;
    if (context->myDoc) xmlFreeDoc(context->myDoc);
    context->myDoc = nullptr;
    xmlFreeParserCtxt(context);
    state_->context = nullptr;

    if (state_->delegateException) std::rethrow_exception(state_->delegateException);
    if (!error_ && state_->aborted) {
        error_ = Error{kXMLParserErrorDomain, kDelegateAbortedParseError, "The delegate aborted the parse.", {}};
    }
    if (!error_ && !wellFormed) {
        // Unreported breakage would otherwise pass as success.
        error_ = Error{kXMLParserErrorDomain, XML_ERR_INTERNAL_ERROR, "The document is not well-formed.", {}};
        if (delegate_) delegate_->parserParseErrorOccurred(*this, *error_);
    }
    return !error_;
}

void XMLParser::abortParsing() {
    if (!state_ || state_->aborted) return;
    state_->stop();
}

long XMLParser::lineNumber() const {
    if (!state_) return 0;
    if (error_ && state_->errorLine > 0) return state_->errorLine;
    if (state_->context) return xmlSAX2GetLineNumber(state_->context);
    return state_->lastLine;
}

long XMLParser::columnNumber() const {
    if (!state_) return 0;
    if (error_ && state_->errorLine > 0) return state_->errorColumn;
    if (state_->context) return xmlSAX2GetColumnNumber(state_->context);
    return state_->lastColumn;
}

}  // namespace platform
