// FBXMLHandler: turns a REST answer of the Facebook API into values, driven
// by the device's XML event parser. An element with text reads as a string,
// one with child elements as a dictionary (an array when it carries
// list="true"; each child of an array is a one-entry dictionary, or the
// child's own dictionary), an empty one as null; text made only of blanks is
// dropped.
//
//   Result<Value> answer = FBXMLHandler::parseXMLResponse(bytes);
//   // "<error_response>" → an Error in the API host's domain whose code is
//   // "error_code", description "error_msg", user info "request_args".
//
// Parses untrusted bytes: every malformed input ends in an Error. One parse
// per handler; any thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/core/Result.h"
#include "platform/core/Value.h"
#include "platform/net/XMLEventParser.h"

namespace murmelo {

class FBXMLHandler : public XMLEventParserDelegate {
public:
    // The parsed answer, or the parser's error, or the API's error.
    static Result<Value> parseXMLResponse(const std::string& bytes);

    const Value& rootObject() const { return m_rootObject; }
    const std::string& rootName() const { return m_rootName; }

    void didStartElement(XMLEventParser&, const std::string& name, const XMLAttributes& attributes) override;
    void didEndElement(XMLEventParser&, const std::string& name) override;
    void foundCharacters(XMLEventParser&, const std::string& text) override;

private:
    void flushCharacters();

    std::vector<Value> m_stack;
    std::vector<std::string> m_nameStack;
    Value m_rootObject;
    std::string m_rootName;
    std::string m_chars;
};

} // namespace murmelo
