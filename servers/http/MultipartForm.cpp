#include "servers/http/MultipartForm.h"

#include "servers/http/HeaderSyntax.h"

namespace murmelo::servers {

namespace {

// RFC 2046 allows 70; a little more costs nothing.
constexpr size_t kMaxBoundaryBytes = 200;

// Calls `each(name, value)` for the parameters after the first ";" of a
// header value such as `form-data; name="a"; filename="b.txt"`, quoted
// values unquoted (a backslash escapes the next character). Gives the value
// before the first ";" (the type).
template <class Each> std::string_view forEachParameter(std::string_view value, Each each) {
    size_t semicolon = value.find(';');
    std::string_view type = trimBlanks(value.substr(0, semicolon));
    size_t position = semicolon == std::string_view::npos ? value.size() : semicolon + 1;
    while (position < value.size()) {
        size_t equals = value.find('=', position);
        size_t nextSemicolon = value.find(';', position);
        if (equals == std::string_view::npos ||
            (nextSemicolon != std::string_view::npos && nextSemicolon < equals)) {
            position = nextSemicolon == std::string_view::npos ? value.size() : nextSemicolon + 1;
            continue;
        }
        std::string_view name = trimBlanks(value.substr(position, equals - position));
        position = equals + 1;
        while (position < value.size() && (value[position] == ' ' || value[position] == '\t')) {
            ++position;
        }
        std::string parameter;
        if (position < value.size() && value[position] == '"') {
            ++position;
            while (position < value.size() && value[position] != '"') {
                if (value[position] == '\\' && position + 1 < value.size()) {
                    ++position;
                }
                parameter += value[position++];
            }
            ++position; // the closing quote
            size_t after = value.find(';', position);
            position = after == std::string_view::npos ? value.size() : after + 1;
        } else {
            size_t end = value.find(';', position);
            end = end == std::string_view::npos ? value.size() : end;
            parameter = trimBlanks(value.substr(position, end - position));
            position = end + 1;
        }
        each(name, std::move(parameter));
    }
    return type;
}

// The bytes of `body` from `position` to the next line break, without it;
// nothing when the body ends first.
std::optional<std::string_view> lineAt(std::string_view body, size_t& position) {
    size_t crlf = body.find("\r\n", position);
    if (crlf == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view line = body.substr(position, crlf - position);
    position = crlf + 2;
    return line;
}

Result<FormPart> readPartHeaders(std::string_view body, size_t& position) {
    FormPart part;
    bool named = false;
    for (size_t count = 0;; ++count) {
        std::optional<std::string_view> line = lineAt(body, position);
        if (!line) {
            return httpRefusal(400, "multipart body ends inside a part's headers");
        }
        if (line->empty()) {
            break;
        }
        if (count >= MultipartForm::kMaxPartHeaders) {
            return httpRefusal(400, "too many part headers");
        }
        MURMELO_TRY_VALUE(auto field, splitHeaderLine(*line));
        auto [name, value] = field;
        if (equalsIgnoringCase(name, "Content-Disposition")) {
            std::string_view type = forEachParameter(value, [&](std::string_view key, std::string parameter) {
                if (equalsIgnoringCase(key, "name")) {
                    part.name = std::move(parameter);
                    named = true;
                } else if (equalsIgnoringCase(key, "filename")) {
                    part.filename = std::move(parameter);
                }
            });
            if (!equalsIgnoringCase(type, "form-data")) {
                return httpRefusal(400, "part is not form-data");
            }
        } else if (equalsIgnoringCase(name, "Content-Type")) {
            part.contentType = value;
        }
    }
    if (!named) {
        return httpRefusal(400, "part without a name");
    }
    return part;
}

} // namespace

std::optional<std::string> MultipartForm::boundaryOf(std::string_view contentType) {
    std::optional<std::string> boundary;
    std::string_view type = forEachParameter(contentType, [&](std::string_view name, std::string value) {
        if (!boundary && equalsIgnoringCase(name, "boundary")) {
            boundary = std::move(value);
        }
    });
    if (!equalsIgnoringCase(type, "multipart/form-data")) {
        return std::nullopt;
    }
    return boundary ? std::move(boundary) : std::string();
}

Result<MultipartForm> MultipartForm::parse(std::string_view boundary, std::string_view body) {
    if (boundary.empty() || boundary.size() > kMaxBoundaryBytes) {
        return httpRefusal(400, "multipart body without a usable boundary");
    }
    const std::string delimiter = "\r\n--" + std::string(boundary);
    // The first delimiter may open the body (without the line break before it).
    size_t position;
    if (body.substr(0, delimiter.size() - 2) == std::string_view(delimiter).substr(2)) {
        position = delimiter.size() - 2;
    } else {
        size_t found = body.find(delimiter);
        if (found == std::string_view::npos) {
            return httpRefusal(400, "multipart body without its boundary");
        }
        position = found + delimiter.size();
    }
    MultipartForm form;
    for (;;) {
        // After a delimiter: "--" closes the body, else a line break opens a part.
        if (body.substr(position, 2) == "--") {
            break;
        }
        while (position < body.size() && (body[position] == ' ' || body[position] == '\t')) {
            ++position;
        }
        std::string_view rest = body.substr(position);
        if (rest.empty() || rest == "\r\n") {
            if (form.parts.empty()) {
                return httpRefusal(400, "multipart body without parts");
            }
            form.unterminated = true;
            break;
        }
        if (rest.substr(0, 2) != "\r\n") {
            return httpRefusal(400, "malformed multipart delimiter");
        }
        position += 2;
        MURMELO_TRY_VALUE(FormPart part, readPartHeaders(body, position));
        size_t end = body.find(delimiter, position);
        if (end == std::string_view::npos) {
            return httpRefusal(400, "multipart body ends inside a part");
        }
        part.data = body.substr(position, end - position);
        form.parts.push_back(std::move(part));
        position = end + delimiter.size();
    }
    return form;
}

} // namespace murmelo::servers
