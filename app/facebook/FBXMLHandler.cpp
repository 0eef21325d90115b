#include "app/facebook/FBXMLHandler.h"

#include "app/product/Constants.h"

namespace murmelo {

namespace {

bool isBlank(const std::string& text) {
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

// A null placeholder that receives content becomes a dictionary.
Value& container(Value& value) {
    if (value.isNull()) {
        value = Value(Dictionary());
    }
    return value;
}

} // namespace

void FBXMLHandler::didStartElement(XMLEventParser&, const std::string& name,
                                   const XMLAttributes& attributes) {
    flushCharacters();
    m_stack.push_back(attributes.value("list") == "true" ? Value(Array()) : Value());
    m_nameStack.push_back(name);
}

void FBXMLHandler::foundCharacters(XMLEventParser&, const std::string& text) {
    m_chars += text;
}

void FBXMLHandler::flushCharacters() {
    if (!m_chars.empty() && !isBlank(m_chars) && !m_stack.empty()) {
        bool inList = false;
        if (m_stack.size() > 1) {
            inList = container(m_stack[m_stack.size() - 2]).isArray();
        }
        if (inList) {
            m_stack.back() = Value(Dictionary{{m_nameStack.back(), Value(m_chars)}});
        } else {
            m_stack.back() = Value(m_chars);
        }
    }
    m_chars.clear();
}

void FBXMLHandler::didEndElement(XMLEventParser&, const std::string&) {
    flushCharacters();
    if (m_stack.empty()) {
        return;
    }
    Value value = std::move(m_stack.back());
    std::string name = std::move(m_nameStack.back());
    m_stack.pop_back();
    m_nameStack.pop_back();
    if (m_stack.empty()) {
        m_rootObject = std::move(value);
        m_rootName = std::move(name);
        return;
    }
    Value& parent = container(m_stack.back());
    if (Array* list = parent.asArray()) {
        list->push_back(std::move(value));
    } else if (Dictionary* dictionary = parent.asDictionary()) {
        dictionary->set(std::move(name), std::move(value));
    }
    // A parent that already holds text keeps it; mixed content has no value form.
}

Result<Value> FBXMLHandler::parseXMLResponse(const std::string& bytes) {
    FBXMLHandler handler;
    XMLEventParser parser(bytes);
    parser.setDelegate(&handler);
    if (auto parsed = parser.parse(); !parsed) {
        return parsed.error();
    }
    if (handler.m_rootName != "error_response") {
        return std::move(handler.m_rootObject);
    }
    long code = 0;
    std::string message;
    Value requestArgs;
    if (const Dictionary* answer = handler.m_rootObject.asDictionary()) {
        if (const Value* value = answer->find("error_code"); value && value->isString()) {
            code = std::strtol(value->asString()->c_str(), nullptr, 10);
        }
        if (const Value* value = answer->find("error_msg"); value && value->isString()) {
            message = *value->asString();
        }
        if (const Value* value = answer->find("request_args")) {
            requestArgs = *value;
        }
    }
    Error error(std::string(kFacebookApiHost), code, message);
    error.withUserInfo(Dictionary{{"request_args", std::move(requestArgs)}});
    return error;
}

} // namespace murmelo
