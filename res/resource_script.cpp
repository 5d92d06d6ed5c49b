#include "resource_script.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <optional>

namespace res {
namespace {

// The constants the system headers give resource scripts.
const std::map<std::string, long long>& SystemConstants() {
    static const std::map<std::string, long long> constants = {
#define CONSTANT(name) {#name, static_cast<long long>(name)}
        CONSTANT(IDOK),
        CONSTANT(IDCANCEL),
        CONSTANT(WS_POPUP),
        CONSTANT(WS_CHILD),
        CONSTANT(WS_VISIBLE),
        CONSTANT(WS_CAPTION),
        CONSTANT(WS_BORDER),
        CONSTANT(WS_VSCROLL),
        CONSTANT(WS_SYSMENU),
        CONSTANT(WS_GROUP),
        CONSTANT(WS_TABSTOP),
        CONSTANT(WS_EX_CLIENTEDGE),
        CONSTANT(WS_EX_APPWINDOW),
        CONSTANT(DS_SETFONT),
        CONSTANT(DS_MODALFRAME),
        CONSTANT(BS_PUSHBUTTON),
        CONSTANT(BS_DEFPUSHBUTTON),
        CONSTANT(BS_GROUPBOX),
        CONSTANT(BS_AUTORADIOBUTTON),
        CONSTANT(SS_LEFT),
        CONSTANT(SS_ICON),
        CONSTANT(SS_NOPREFIX),
        CONSTANT(ES_LEFT),
        CONSTANT(ES_AUTOHSCROLL),
        CONSTANT(ES_READONLY),
        CONSTANT(CBS_SIMPLE),
        CONSTANT(CBS_DROPDOWNLIST),
        CONSTANT(CBS_SORT),
        CONSTANT(UDS_WRAP),
        CONSTANT(UDS_SETBUDDYINT),
        CONSTANT(UDS_ALIGNRIGHT),
        CONSTANT(UDS_ALIGNLEFT),
        CONSTANT(UDS_AUTOBUDDY),
        CONSTANT(UDS_ARROWKEYS),
        CONSTANT(UDS_NOTHOUSANDS),
        CONSTANT(LVS_REPORT),
        CONSTANT(LVS_SINGLESEL),
        CONSTANT(LVS_SHOWSELALWAYS),
        CONSTANT(LVS_NOSORTHEADER),
        CONSTANT(AFX_IDP_PARSE_INT),
        CONSTANT(AFX_IDP_PARSE_INT_RANGE),
        CONSTANT(AFX_IDS_OK),
        CONSTANT(AFX_IDS_CANCEL),
        CONSTANT(AFX_IDS_SYSMENU_CLOSE),
        CONSTANT(AFX_IDS_UPDOWN_INCREASE),
        CONSTANT(AFX_IDS_UPDOWN_DECREASE),
        CONSTANT(AFX_IDS_NO_DISPLAY),
#undef CONSTANT
    };
    return constants;
}

struct Token {
    enum Kind { End, Word, Number, String, Comma, Bar, LeftParen, RightParen } kind = End;
    std::string text;
    long long number = 0;
    int line = 0;
};

[[noreturn]] void Fail(std::string_view file, int line, const std::string& what) {
    throw ResourceScriptError(std::string(file) + ":" + std::to_string(line) + ": " + what);
}

// Parses a number as C writes it (decimal or 0x hex, optional L/U suffixes); nullopt when
// `text` is none.
std::optional<long long> ParseNumber(std::string_view text) {
    while (!text.empty() &&
           (text.back() == 'L' || text.back() == 'l' || text.back() == 'U' || text.back() == 'u')) {
        text.remove_suffix(1);
    }
    if (text.empty()) return std::nullopt;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits(hex ? text.substr(2) : text);
    for (char c : digits) {
        if (hex ? !std::isxdigit(static_cast<unsigned char>(c))
                : !std::isdigit(static_cast<unsigned char>(c))) {
            return std::nullopt;
        }
    }
    return std::strtoll(digits.c_str(), nullptr, hex ? 16 : 10);
}

// The lines of a script after the preprocessor: directives done, skipped lines blank.
class Preprocessor {
public:
    Preprocessor(std::map<std::string, long long>& symbols,
                 const std::map<std::string, std::string_view>& includes, int depth = 0)
        : m_symbols(symbols), m_includes(includes), m_depth(depth) {}

    std::string Run(std::string_view file, std::string_view text) {
        std::string body;
        std::vector<bool> active;  // one entry per open #if block
        int line = 0;
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string_view::npos) end = text.size();
            std::string_view content = text.substr(start, end - start);
            ++line;
            const bool skipping = !active.empty() && !active.back();
            const size_t first = content.find_first_not_of(" \t\r");
            if (first != std::string_view::npos && content[first] == '#') {
                Directive(file, line, content.substr(first + 1), active, skipping);
            } else if (!skipping) {
                body.append(content);
            }
            body.push_back('\n');
            if (end == text.size()) break;
            start = end + 1;
        }
        if (!active.empty()) Fail(file, line, "#if without #endif");
        return body;
    }

private:
    static std::string_view Trim(std::string_view text) {
        const size_t comment = std::min(text.find("//"), text.find("/*"));
        if (comment != std::string_view::npos) text = text.substr(0, comment);
        while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
            text.remove_prefix(1);
        }
        while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
            text.remove_suffix(1);
        }
        return text;
    }

    static std::string_view TakeWord(std::string_view& text) {
        text = Trim(text);
        size_t length = 0;
        while (length < text.size() &&
               (std::isalnum(static_cast<unsigned char>(text[length])) || text[length] == '_')) {
            ++length;
        }
        const std::string_view word = text.substr(0, length);
        text.remove_prefix(length);
        return word;
    }

    void Directive(std::string_view file, int line, std::string_view rest,
                   std::vector<bool>& active, bool skipping) {
        const std::string_view keyword = TakeWord(rest);
        rest = Trim(rest);
        if (keyword == "ifndef" || keyword == "ifdef") {
            const bool defined = m_symbols.count(std::string(TakeWord(rest))) > 0;
            active.push_back(!skipping && (keyword == "ifdef") == defined);
        } else if (keyword == "endif") {
            if (active.empty()) Fail(file, line, "#endif without #if");
            active.pop_back();
        } else if (skipping) {
            return;
        } else if (keyword == "define") {
            Define(file, line, rest);
        } else if (keyword == "include") {
            Include(file, line, rest);
        } else if (keyword == "pragma") {
            if (rest != "once" && rest != "code_page(65001)") {
                Fail(file, line,
                     "unknown #pragma " + std::string(rest) +
                         " (scripts are UTF-8: code_page(65001))");
            }
        } else {
            Fail(file, line, "unknown directive #" + std::string(keyword));
        }
    }

    void Define(std::string_view file, int line, std::string_view rest) {
        const std::string name(TakeWord(rest));
        std::string_view value = Trim(rest);
        if (name.empty()) Fail(file, line, "#define without a name");
        if (value.size() >= 2 && value.front() == '(' && value.back() == ')') {
            value = Trim(value.substr(1, value.size() - 2));
        }
        const bool negative = !value.empty() && value.front() == '-';
        if (negative) value = Trim(value.substr(1));
        std::optional<long long> number = ParseNumber(value);
        if (!number) {
            auto symbol = m_symbols.find(std::string(value));
            if (symbol == m_symbols.end()) {
                Fail(file, line, "#define " + name + ": not a number: " + std::string(value));
            }
            number = symbol->second;
        }
        const long long result = negative ? -*number : *number;
        auto [entry, added] = m_symbols.emplace(name, result);
        if (!added && entry->second != result) Fail(file, line, name + " is defined twice");
    }

    void Include(std::string_view file, int line, std::string_view rest) {
        if (rest == "<windows.h>" || rest == "<commctrl.h>") return;  // built in
        if (rest.size() < 2 || rest.front() != '"' || rest.back() != '"') {
            Fail(file, line, "cannot include " + std::string(rest));
        }
        const std::string included(rest.substr(1, rest.size() - 2));
        auto found = m_includes.find(included);
        if (found == m_includes.end()) Fail(file, line, "no such include file: " + included);
        // A header contributes definitions only.
        // Headers here have no guards that stop a header from including itself.
        if (m_depth >= 8) Fail(file, line, "includes nest too deep at " + included);
        const std::string body =
            Preprocessor(m_symbols, m_includes, m_depth + 1).Run(included, found->second);
        if (HasContent(body)) Fail(included, 1, "a header may hold only directives and comments");
    }

    // Whether anything but blanks and comments is left.
    static bool HasContent(std::string_view text) {
        for (size_t i = 0; i < text.size(); ++i) {
            if (text.compare(i, 2, "//") == 0) {
                i = text.find('\n', i);
                if (i == std::string_view::npos) return false;
            } else if (text.compare(i, 2, "/*") == 0) {
                i = text.find("*/", i + 2);
                if (i == std::string_view::npos) return true;
                ++i;
            } else if (!std::isspace(static_cast<unsigned char>(text[i]))) {
                return true;
            }
        }
        return false;
    }

    std::map<std::string, long long>& m_symbols;
    const std::map<std::string, std::string_view>& m_includes;
    int m_depth;
};

class Parser {
public:
    Parser(std::string_view file, std::string text, std::map<std::string, long long>& symbols,
           ResourceTable& table)
        : m_file(file), m_text(std::move(text)), m_symbols(symbols), m_table(table) {
        Advance();
    }

    void Run() {
        while (m_token.kind != Token::End) {
            if (IsWord("STRINGTABLE")) {
                Advance();
                StringTable();
                continue;
            }
            const int line = m_token.line;
            const long long id = Value("a resource identifier");
            if (IsWord("DIALOGEX")) {
                Advance();
                Dialog(static_cast<UINT>(id), line);
            } else if (IsWord("ICON")) {
                Advance();
                m_table.iconFiles[static_cast<UINT>(id)] = Expect(Token::String, "a file name");
            } else {
                Error("expected DIALOGEX or ICON");
            }
        }
    }

private:
    // -- Tokens -------------------------------------------------------------------------

    void Advance() {
        SkipBlanksAndComments();
        m_token = Token{};
        m_token.line = m_line;
        if (m_position >= m_text.size()) return;
        const char c = m_text[m_position];
        if (c == ',' || c == '|' || c == '(' || c == ')') {
            m_token.kind = c == ','   ? Token::Comma
                           : c == '|' ? Token::Bar
                           : c == '(' ? Token::LeftParen
                                      : Token::RightParen;
            m_token.text = std::string(1, c);
            ++m_position;
        } else if (c == '"') {
            ReadString();
        } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-') {
            size_t end = m_position + 1;
            while (end < m_text.size() &&
                   (std::isalnum(static_cast<unsigned char>(m_text[end])) || m_text[end] == '_')) {
                ++end;
            }
            m_token.text = m_text.substr(m_position, end - m_position);
            m_position = end;
            const bool negative = m_token.text[0] == '-';
            if (std::optional<long long> number =
                    ParseNumber(std::string_view(m_token.text).substr(negative ? 1 : 0))) {
                m_token.kind = Token::Number;
                m_token.number = negative ? -*number : *number;
            } else if (negative || std::isdigit(static_cast<unsigned char>(c))) {
                Error("not a number: " + m_token.text);
            } else {
                m_token.kind = Token::Word;
            }
        } else {
            Error(std::string("unexpected character '") + c + "'");
        }
    }

    void SkipBlanksAndComments() {
        while (m_position < m_text.size()) {
            const char c = m_text[m_position];
            if (c == '\n') {
                ++m_line;
                ++m_position;
            } else if (std::isspace(static_cast<unsigned char>(c))) {
                ++m_position;
            } else if (m_text.compare(m_position, 2, "//") == 0) {
                m_position = m_text.find('\n', m_position);
                if (m_position == std::string::npos) m_position = m_text.size();
            } else if (m_text.compare(m_position, 2, "/*") == 0) {
                const size_t end = m_text.find("*/", m_position + 2);
                if (end == std::string::npos) Error("comment without end");
                for (size_t i = m_position; i < end; ++i) m_line += m_text[i] == '\n';
                m_position = end + 2;
            } else {
                return;
            }
        }
    }

    // A quoted string: "" is a quote; \n, \t and \\ as in C. It ends on its line.
    void ReadString() {
        m_token.kind = Token::String;
        ++m_position;
        while (true) {
            if (m_position >= m_text.size() || m_text[m_position] == '\n') {
                Error("string without its closing quote");
            }
            const char c = m_text[m_position++];
            if (c == '"') {
                if (m_position < m_text.size() && m_text[m_position] == '"') {
                    m_token.text.push_back('"');
                    ++m_position;
                    continue;
                }
                return;
            }
            if (c == '\\' && m_position < m_text.size()) {
                const char escaped = m_text[m_position++];
                if (escaped == 'n') {
                    m_token.text.push_back('\n');
                } else if (escaped == 't') {
                    m_token.text.push_back('\t');
                } else if (escaped == '\\') {
                    m_token.text.push_back('\\');
                } else {
                    Error(std::string("unknown escape \\") + escaped);
                }
                continue;
            }
            m_token.text.push_back(c);
        }
    }

    [[noreturn]] void Error(const std::string& what) const { Fail(m_file, m_line, what); }

    bool IsWord(std::string_view word) const {
        return m_token.kind == Token::Word && m_token.text == word;
    }

    std::string Expect(Token::Kind kind, std::string_view what) {
        if (m_token.kind != kind) {
            Error("expected " + std::string(what) + ", found " +
                  (m_token.kind == Token::End ? std::string("the end") : "'" + m_token.text + "'"));
        }
        std::string text = m_token.text;
        Advance();
        return text;
    }

    bool Accept(Token::Kind kind) {
        if (m_token.kind != kind) return false;
        Advance();
        return true;
    }

    // A number or a defined name.
    long long Value(std::string_view what) {
        if (m_token.kind == Token::Number) {
            const long long number = m_token.number;
            Advance();
            return number;
        }
        if (m_token.kind == Token::Word) {
            auto symbol = m_symbols.find(m_token.text);
            if (symbol == m_symbols.end()) Error("undefined identifier " + m_token.text);
            Advance();
            return symbol->second;
        }
        Expect(Token::Number, what);
        return 0;
    }

    int Coordinate() {
        const long long value = Value("a number");
        if (value < -32768 || value > 32767) Error("coordinate out of range");
        return static_cast<int>(value);
    }

    // Styles: names and numbers joined by |; NOT takes bits away from the defaults.
    DWORD Style(DWORD defaults) {
        DWORD style = defaults;
        do {
            if (IsWord("NOT")) {
                Advance();
                style &= ~static_cast<DWORD>(Value("a style"));
            } else {
                style |= static_cast<DWORD>(Value("a style"));
            }
        } while (Accept(Token::Bar));
        return style;
    }

    const char* Keep(std::string text) {
        m_table.texts.push_back(std::move(text));
        return m_table.texts.back().c_str();
    }

    // -- Statements ----------------------------------------------------------------------

    void StringTable() {
        Begin();
        while (!AtEnd()) {
            const int line = m_token.line;
            const UINT id = static_cast<UINT>(Value("a string identifier"));
            Accept(Token::Comma);
            const std::string text = Expect(Token::String, "the string's text");
            if (!m_table.strings.emplace(id, Keep(text)).second) {
                Fail(m_file, line, "string " + std::to_string(id) + " is defined twice");
            }
        }
        Advance();
    }

    void Begin() {
        if (!IsWord("BEGIN")) Expect(Token::End, "BEGIN");
        Advance();
    }

    bool AtEnd() {
        if (m_token.kind == Token::End) Error("BEGIN without END");
        return IsWord("END");
    }

    void Dialog(UINT id, int line) {
        for (const DialogTemplate& dialog : m_table.dialogs) {
            if (dialog.id == id)
                Fail(m_file, line, "dialog " + std::to_string(id) + " is defined twice");
        }
        DialogTemplate dialog{};
        dialog.id = id;
        Coordinate();  // the position: a modal dialog is placed by its owner
        Expect(Token::Comma, "','");
        Coordinate();
        Expect(Token::Comma, "','");
        dialog.cx = static_cast<short>(Coordinate());
        Expect(Token::Comma, "','");
        dialog.cy = static_cast<short>(Coordinate());
        dialog.caption = "";
        bool styled = false;
        while (!IsWord("BEGIN")) {
            if (IsWord("STYLE")) {
                Advance();
                dialog.style = Style(0);
                styled = true;
            } else if (IsWord("EXSTYLE")) {
                Advance();
                dialog.exStyle = Style(0);
            } else if (IsWord("CAPTION")) {
                Advance();
                dialog.caption = Keep(Expect(Token::String, "the caption"));
            } else if (IsWord("FONT")) {
                Advance();
                dialog.pointSize = Coordinate();
                Expect(Token::Comma, "','");
                dialog.fontName = Keep(Expect(Token::String, "the font's name"));
                // Weight, italic and character set may follow; the framework takes the face.
                while (Accept(Token::Comma)) Value("a font attribute");
            } else {
                Error("expected STYLE, EXSTYLE, CAPTION, FONT or BEGIN");
            }
        }
        if (!styled) Error("the dialog has no STYLE");
        if (!dialog.fontName) Error("the dialog has no FONT");
        Begin();
        std::vector<ControlTemplate>& controls = m_table.controlLists.emplace_back();
        while (!AtEnd()) controls.push_back(Control());
        Advance();
        dialog.controls = controls;
        m_table.dialogs.push_back(dialog);
    }

    void Rectangle(ControlTemplate& control, bool sizeOptional = false) {
        control.x = static_cast<short>(Coordinate());
        Expect(Token::Comma, "','");
        control.y = static_cast<short>(Coordinate());
        if (sizeOptional && m_token.kind != Token::Comma) return;
        Expect(Token::Comma, "','");
        control.cx = static_cast<short>(Coordinate());
        Expect(Token::Comma, "','");
        control.cy = static_cast<short>(Coordinate());
    }

    // Optional ", style [, extended style]" after a control's rectangle.
    void Styles(ControlTemplate& control, DWORD defaults) {
        control.style = defaults;
        if (!Accept(Token::Comma)) return;
        control.style = Style(defaults);
        if (Accept(Token::Comma)) control.exStyle = Style(0);
    }

    ControlTemplate Control() {
        ControlTemplate control{};
        const std::string statement = Expect(Token::Word, "a control statement");
        struct TextStatement {
            const char* name;
            ControlClass controlClass;
            DWORD defaults;
        };
        static const TextStatement textStatements[] = {
            {"PUSHBUTTON", ControlClass::Button, BS_PUSHBUTTON | WS_TABSTOP},
            {"DEFPUSHBUTTON", ControlClass::Button, BS_DEFPUSHBUTTON | WS_TABSTOP},
            {"GROUPBOX", ControlClass::Button, BS_GROUPBOX},
            {"LTEXT", ControlClass::Static, SS_LEFT | WS_GROUP},
        };
        for (const TextStatement& kind : textStatements) {
            if (statement != kind.name) continue;
            control.controlClass = kind.controlClass;
            control.text = Keep(Expect(Token::String, "the control's text"));
            Expect(Token::Comma, "','");
            control.id = static_cast<int>(Value("the control's identifier"));
            Expect(Token::Comma, "','");
            Rectangle(control);
            Styles(control, kind.defaults);
            return control;
        }
        if (statement == "EDITTEXT" || statement == "COMBOBOX") {
            const bool edit = statement == "EDITTEXT";
            control.controlClass = edit ? ControlClass::Edit : ControlClass::ComboBox;
            control.text = "";
            control.id = static_cast<int>(Value("the control's identifier"));
            Expect(Token::Comma, "','");
            Rectangle(control);
            Styles(control, edit ? ES_LEFT | WS_BORDER | WS_TABSTOP : CBS_SIMPLE | WS_TABSTOP);
            return control;
        }
        if (statement == "ICON") {
            control.controlClass = ControlClass::Static;
            control.text = Keep(std::to_string(Value("the icon's identifier")));
            Expect(Token::Comma, "','");
            control.id = static_cast<int>(Value("the control's identifier"));
            Expect(Token::Comma, "','");
            Rectangle(control, true);
            Styles(control, SS_ICON);
            return control;
        }
        if (statement == "CONTROL") {
            control.text = Keep(Expect(Token::String, "the control's text"));
            Expect(Token::Comma, "','");
            control.id = static_cast<int>(Value("the control's identifier"));
            Expect(Token::Comma, "','");
            control.controlClass = ClassNamed(Expect(Token::String, "the window class"));
            Expect(Token::Comma, "','");
            control.style = Style(0);
            Expect(Token::Comma, "','");
            Rectangle(control);
            if (Accept(Token::Comma)) control.exStyle = Style(0);
            return control;
        }
        Error("unknown control statement " + statement);
    }

    ControlClass ClassNamed(const std::string& name) {
        static const std::pair<const char*, ControlClass> classes[] = {
            {"button", ControlClass::Button},
            {"static", ControlClass::Static},
            {"edit", ControlClass::Edit},
            {"combobox", ControlClass::ComboBox},
            {"msctls_updown32", ControlClass::UpDown},
            {"syslistview32", ControlClass::ListView},
        };
        std::string lower;
        for (char c : name)
            lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        for (const auto& [className, controlClass] : classes) {
            if (lower == className) return controlClass;
        }
        Error("unknown window class \"" + name + "\"");
    }

    std::string_view m_file;
    std::string m_text;
    std::map<std::string, long long>& m_symbols;
    ResourceTable& m_table;
    size_t m_position = 0;
    int m_line = 1;
    Token m_token;
};

}  // namespace

void ParseResourceScript(std::string_view name, std::string_view script,
                         const std::map<std::string, std::string_view>& includes,
                         ResourceTable& table) {
    std::map<std::string, long long> symbols = SystemConstants();
    std::string body = Preprocessor(symbols, includes).Run(name, script);
    Parser(name, std::move(body), symbols, table).Run();
}

}  // namespace res
