// The resource-script reader: what it takes, and that it refuses anything else loudly.
#include <gtest/gtest.h>

#include "resource_script.h"

namespace {

using res::ControlClass;

const std::map<std::string, std::string_view> kIncludes = {
    {"ids.h",
     "// identifiers\n#pragma once\n#ifndef IDC_STATIC\n#define IDC_STATIC (-1)\n#endif\n"
     "#define IDD_TEST 200\n#define IDC_NAME 0x3E8L /* 1000 */\n#define IDS_HELLO 7\n"},
};

res::ResourceTable Parse(std::string_view script) {
    res::ResourceTable table;
    res::ParseResourceScript("test.rc", script, kIncludes, table);
    return table;
}

// The message the script is refused with; empty when it is accepted.
std::string Refusal(std::string_view script) {
    try {
        Parse(script);
    } catch (const res::ResourceScriptError& error) {
        return error.what();
    }
    return {};
}

constexpr std::string_view kDialog = R"(#pragma code_page(65001)
#include <windows.h>
#include "ids.h"
IDD_TEST DIALOGEX 0, 0, 120, 40
STYLE DS_MODALFRAME | WS_POPUP | WS_CAPTION
CAPTION "Größe ""groß"""
FONT 9, "MS Sans Serif", 400, 0, 0x1
BEGIN
    LTEXT "&Name:", IDC_STATIC, 4, 6, 30, 8, SS_NOPREFIX
    EDITTEXT IDC_NAME, 40, 4, 60, 12, ES_AUTOHSCROLL | NOT WS_TABSTOP
    /* a spin button for it */
    CONTROL "", 1001, "msctls_UPDOWN32", UDS_ARROWKEYS, 100, 4, 10, 12, WS_EX_CLIENTEDGE
    ICON 128, IDC_STATIC, 2, 20
    DEFPUSHBUTTON "OK", IDOK, 80, 22, 30, 14, WS_GROUP
END
STRINGTABLE
BEGIN
    IDS_HELLO, "Zeile\neins\tund \\ zwei"
    8 "acht"
END
)";

TEST(ResourceScript, ReadsDialogsWithTheStatementsDefaultStyles) {
    const res::ResourceTable table = Parse(kDialog);
    ASSERT_EQ(table.dialogs.size(), 1u);
    const res::DialogTemplate& dialog = table.dialogs[0];
    EXPECT_EQ(dialog.id, 200u);
    EXPECT_STREQ(dialog.caption, "Größe \"groß\"");
    EXPECT_EQ(dialog.cx, 120);
    EXPECT_EQ(dialog.cy, 40);
    EXPECT_STREQ(dialog.fontName, "MS Sans Serif");
    EXPECT_EQ(dialog.pointSize, 9);
    EXPECT_EQ(dialog.style, static_cast<DWORD>(DS_MODALFRAME | WS_POPUP | WS_CAPTION));
    ASSERT_EQ(dialog.controls.size(), 5u);

    const res::ControlTemplate& label = dialog.controls[0];
    EXPECT_EQ(label.id, -1);
    EXPECT_EQ(label.controlClass, ControlClass::Static);
    EXPECT_EQ(label.style, static_cast<DWORD>(SS_LEFT | WS_GROUP | SS_NOPREFIX));
    const res::ControlTemplate& edit = dialog.controls[1];
    EXPECT_EQ(edit.id, 1000);
    EXPECT_EQ(edit.controlClass, ControlClass::Edit);
    EXPECT_EQ(edit.style, static_cast<DWORD>(ES_LEFT | WS_BORDER | ES_AUTOHSCROLL));
    EXPECT_EQ((std::tuple(edit.x, edit.y, edit.cx, edit.cy)), std::tuple(40, 4, 60, 12));
    const res::ControlTemplate& spin = dialog.controls[2];
    EXPECT_EQ(spin.controlClass, ControlClass::UpDown);  // class names in any case
    EXPECT_EQ(spin.style, static_cast<DWORD>(UDS_ARROWKEYS));
    EXPECT_EQ(spin.exStyle, static_cast<DWORD>(WS_EX_CLIENTEDGE));
    const res::ControlTemplate& icon = dialog.controls[3];
    EXPECT_STREQ(icon.text, "128");
    EXPECT_EQ(icon.style, static_cast<DWORD>(SS_ICON));
    const res::ControlTemplate& ok = dialog.controls[4];
    EXPECT_EQ(ok.style, static_cast<DWORD>(BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP));

    EXPECT_STREQ(table.strings.at(7), "Zeile\neins\tund \\ zwei");
    EXPECT_STREQ(table.strings.at(8), "acht");
}

TEST(ResourceScript, RefusesMalformedScriptsNamingTheLine) {
    const std::string head = "#include \"ids.h\"\n";
    const std::string dialog = head + "IDD_TEST DIALOGEX 0, 0, 10, 10\nSTYLE WS_POPUP\n" +
                               "FONT 9, \"MS Sans Serif\"\nBEGIN\n";
    const std::pair<std::string, std::string> cases[] = {
        {dialog + "LTEXT \"open, -1, 1, 1, 1, 1\nEND\n", "test.rc:6: string without its closing"},
        {dialog + "LTEXT \"x\", IDC_NOPE, 1, 1, 1, 1\nEND\n", ":6: undefined identifier IDC_NOPE"},
        {dialog + "LTEXT \"x\", -1, 1, 1, 1, 1\n", "BEGIN without END"},
        {dialog + "RTEXT \"x\", -1, 1, 1, 1, 1\nEND\n", "unknown control statement RTEXT"},
        {dialog + "CONTROL \"\", 5, \"RichEdit20A\", 0, 1, 1, 1, 1\nEND\n",
         "unknown window class \"RichEdit20A\""},
        {dialog + "LTEXT \"x\" -1, 1, 1, 1, 1\nEND\n", ":6: expected ',', found '-1'"},
        {dialog + "LTEXT \"x\", -1, 1, 1, 40000, 1\nEND\n", "coordinate out of range"},
        {dialog + "LTEXT \"x\", -1, 1, 1, 1, 1 ; \nEND\n", "unexpected character ';'"},
        {head + "IDD_TEST DIALOGEX 0, 0, 10, 10\nFONT 9, \"X\"\nBEGIN\nEND\n", "has no STYLE"},
        {head + "IDD_TEST DIALOGEX 0, 0, 10, 10\nSTYLE WS_POPUP\nBEGIN\nEND\n", "has no FONT"},
        {head + "IDD_TEST MENU\n", ":2: expected DIALOGEX or ICON"},
        {head + "STRINGTABLE\nBEGIN\n7 \"a\"\nIDS_HELLO \"b\"\nEND\n", ":5: string 7 is defined"},
        {dialog + "END\n" + dialog.substr(head.size()) + "END\n",
         ":7: dialog 200 is defined twice"},
        {head + "#define IDD_TEST 201\n", ":2: IDD_TEST is defined twice"},
        {"#pragma code_page(1252)\n", ":1: unknown #pragma code_page(1252)"},
        {"#include \"missing.h\"\n", "no such include file: missing.h"},
        {"#include <afxres.h>\n", "cannot include <afxres.h>"},
        {"#ifdef X\n", "#if without #endif"},
        {"#undef X\n", "unknown directive #undef"},
        {"#define WIDTH 10 + 2\n", "not a number: 10 + 2"},
        {"STRINGTABLE\nBEGIN\n9 \"\\q\"\nEND\n", ":3: unknown escape \\q"},
        {"/* never closed\n", "comment without end"},
    };
    for (const auto& [script, message] : cases) {
        SCOPED_TRACE(script);
        const std::string refusal = Refusal(script);
        EXPECT_NE(refusal.find(message), std::string::npos) << "refused with: " << refusal;
    }
}

TEST(ResourceScript, AHeaderHoldsDefinitionsOnly) {
    res::ResourceTable table;
    const std::map<std::string, std::string_view> includes = {
        {"bad.h", "#define A 1\nA ICON \"a.ico\"\n"}};
    EXPECT_THROW(res::ParseResourceScript("test.rc", "#include \"bad.h\"\n", includes, table),
                 res::ResourceScriptError);
    const std::map<std::string, std::string_view> selfIncluding = {
        {"loop.h", "#pragma once\n#include \"loop.h\"\n"}};
    EXPECT_THROW(res::ParseResourceScript("test.rc", "#include \"loop.h\"\n", selfIncluding, table),
                 res::ResourceScriptError);
    const std::map<std::string, std::string_view> commented = {
        {"good.h", "// a comment\n#define A 1 // trailing\n/* block\n */\n"}};
    res::ParseResourceScript("test.rc", "#include \"good.h\"\nA ICON \"a.ico\"\n", commented,
                             table);
    EXPECT_EQ(table.iconFiles.at(1), "a.ico");
}

}  // namespace
