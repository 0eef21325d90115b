#include "platform/net/XMLEventParser.h"

// Debian's expat is built with DTD support; the header only declares the
// entity-amplification limits when told so.
#ifndef XML_DTD
#define XML_DTD
#endif
#include <expat.h>

#include <algorithm>
#include <memory>

namespace murmelo {

namespace {

constexpr size_t kChunkBytes = 1 << 20;

struct ParserFree {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

} // namespace

std::optional<std::string> XMLAttributes::value(const std::string& name) const {
    for (const auto& [key, value] : items) {
        if (key == name) {
            return value;
        }
    }
    return std::nullopt;
}

struct XMLEventParser::Callbacks {
    static XMLEventParser& self(void* userData) { return *static_cast<XMLEventParser*>(userData); }

    static void startElement(void* userData, const XML_Char* name, const XML_Char** attributes) {
        XMLEventParser& parser = self(userData);
        parser.flushCharacters();
        if (parser.m_aborted) {
            return;
        }
        XMLAttributes list;
        for (size_t i = 0; attributes[i] && attributes[i + 1]; i += 2) {
            list.items.emplace_back(attributes[i], attributes[i + 1]);
        }
        parser.updatePosition();
        if (parser.m_delegate) {
            parser.m_delegate->didStartElement(parser, name, list);
        }
    }

    static void endElement(void* userData, const XML_Char* name) {
        XMLEventParser& parser = self(userData);
        parser.flushCharacters();
        if (parser.m_aborted) {
            return;
        }
        parser.updatePosition();
        if (parser.m_delegate) {
            parser.m_delegate->didEndElement(parser, name);
        }
    }

    static void characters(void* userData, const XML_Char* text, int length) {
        XMLEventParser& parser = self(userData);
        if (parser.m_pendingText.empty()) {
            parser.updatePosition();
        }
        parser.m_pendingText.append(text, static_cast<size_t>(length));
    }

    static int externalEntity(XML_Parser, const XML_Char*, const XML_Char*, const XML_Char*,
                              const XML_Char*) {
        return XML_STATUS_ERROR; // never load anything from outside the document
    }
};

XMLEventParser::XMLEventParser(std::string data) : m_data(std::move(data)) {}

void XMLEventParser::updatePosition() {
    if (m_parser) {
        auto parser = static_cast<XML_Parser>(m_parser);
        m_line = static_cast<long>(XML_GetCurrentLineNumber(parser));
        m_column = static_cast<long>(XML_GetCurrentColumnNumber(parser)) + 1;
    }
}

void XMLEventParser::flushCharacters() {
    if (m_pendingText.empty() || m_aborted) {
        m_pendingText.clear();
        return;
    }
    std::string text = std::move(m_pendingText);
    m_pendingText.clear();
    if (m_delegate) {
        m_delegate->foundCharacters(*this, text);
    }
}

void XMLEventParser::abortParsing() {
    if (!m_parser || m_aborted) {
        return;
    }
    m_aborted = true;
    XML_StopParser(static_cast<XML_Parser>(m_parser), XML_FALSE);
}

Result<void> XMLEventParser::parse() {
    if (m_used) {
        return Error(kErrorDomain, kAbortedCode, "The parser has already parsed its document");
    }
    m_used = true;
    std::unique_ptr<XML_ParserStruct, ParserFree> owner(XML_ParserCreate(nullptr));
    if (!owner) {
        m_error = Error(kErrorDomain, XML_ERROR_NO_MEMORY, "Cannot create the XML parser");
        return *m_error;
    }
    XML_Parser parser = owner.get();
    m_parser = parser;
    XML_SetUserData(parser, this);
    XML_SetElementHandler(parser, &Callbacks::startElement, &Callbacks::endElement);
    XML_SetCharacterDataHandler(parser, &Callbacks::characters);
    XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);
    XML_SetExternalEntityRefHandler(parser, &Callbacks::externalEntity);
    XML_SetBillionLaughsAttackProtectionMaximumAmplification(parser, kMaximumAmplification);
    XML_SetBillionLaughsAttackProtectionActivationThreshold(parser, kAmplificationThreshold);

    if (m_delegate) {
        m_delegate->didStartDocument(*this);
    }
    XML_Status status = XML_STATUS_OK;
    size_t offset = 0;
    while (!m_aborted && status == XML_STATUS_OK) {
        size_t length = std::min(kChunkBytes, m_data.size() - offset);
        bool last = offset + length == m_data.size();
        status =
            XML_Parse(parser, m_data.data() + offset, static_cast<int>(length), last ? XML_TRUE : XML_FALSE);
        offset += length;
        if (last) {
            break;
        }
    }

    if (status == XML_STATUS_OK && !m_aborted) {
        flushCharacters();
        if (!m_aborted) {
            if (m_delegate) {
                m_delegate->didEndDocument(*this);
            }
            m_parser = nullptr;
            return {};
        }
    }
    m_pendingText.clear();
    m_line = static_cast<long>(XML_GetCurrentLineNumber(parser));
    m_column = static_cast<long>(XML_GetCurrentColumnNumber(parser)) + 1;
    Dictionary info;
    info.set("lineNumber", Value(m_line));
    info.set("columnNumber", Value(m_column));
    if (m_aborted) {
        m_error = Error(kErrorDomain, kAbortedCode, "The parser was aborted by its delegate");
    } else {
        XML_Error code = XML_GetErrorCode(parser);
        m_error = Error(kErrorDomain, static_cast<long>(code),
                        "XML parse error at line " + std::to_string(m_line) + ", column " +
                            std::to_string(m_column) + ": " + XML_ErrorString(code));
    }
    m_error->withUserInfo(std::move(info));
    m_parser = nullptr;
    if (m_delegate) {
        m_delegate->parseErrorOccurred(*this, *m_error);
    }
    return *m_error;
}

} // namespace murmelo
