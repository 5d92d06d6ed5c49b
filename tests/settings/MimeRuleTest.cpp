// The rule for new MIME mappings, one row per way to be refused.
#include "stdafx.h"

#include <gtest/gtest.h>

#include "MimeRule.h"

namespace marrowick::test {
namespace {

struct Row {
    const char* input;
    const char* refusal;  // part of the message; nullptr: accepted
};

TEST(MimeRuleTest, ExtensionsWithoutDotBlanksControlsOrSlashes) {
    const Row rows[] = {
        {"pdf", nullptr},
        {"tar.gz", nullptr},
        {"Ünïcödé", nullptr},
        {"", "Erweiterung wurde nicht eingegeben."},
        {".pdf", "„.pdf“: Die Erweiterung steht ohne führenden Punkt, also „pdf“."},
        {"p df", "keine Leerzeichen"},
        {"p\tdf", "„p\\x09df“"},
        {"a/b", "keine Leerzeichen, Steuerzeichen, / oder \\"},
        {"a\\b", "keine Leerzeichen, Steuerzeichen, / oder \\"},
    };
    for (const Row& row : rows) {
        const std::string problem = MimeExtensionProblem(row.input);
        if (row.refusal) {
            EXPECT_NE(problem.find(row.refusal), std::string::npos) << row.input << ": " << problem;
        } else {
            EXPECT_EQ(problem, "") << row.input;
        }
    }
}

TEST(MimeRuleTest, TypesInTheRegisteredForm) {
    const Row rows[] = {
        {"application/pdf", nullptr},
        {"application/vnd.oasis.opendocument.text", nullptr},
        {"text/plain; charset=windows-1252", nullptr},
        {"text/plain;format=\"flowed\"", nullptr},
        {"image/svg+xml", nullptr},
        {"", "MIME-Typ/Untertyp wurde nicht eingegeben."},
        {"application", "„application“: Ein MIME-Typ hat die Form Typ/Untertyp"},
        {"application/", "Typ/Untertyp"},
        {"/pdf", "Typ/Untertyp"},
        {"application/pdf/x", "Typ/Untertyp"},
        {"app lication/pdf", "Typ/Untertyp"},
        {"text/plain; charset", "Typ/Untertyp"},
        {"text/plain\n", "„text/plain\\x0a“"},
    };
    for (const Row& row : rows) {
        const std::string problem = MimeTypeProblem(row.input);
        if (row.refusal) {
            EXPECT_NE(problem.find(row.refusal), std::string::npos) << row.input << ": " << problem;
        } else {
            EXPECT_EQ(problem, "") << row.input;
        }
    }
}

}  // namespace
}  // namespace marrowick::test
