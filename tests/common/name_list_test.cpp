#include "common/text.h"

#include <gtest/gtest.h>

namespace permscope {
namespace {

using Pieces = std::vector<std::string_view>;

TEST(SplitPieces, EmptyTextHasNoPieces) {
    EXPECT_TRUE(split_pieces("").empty());
}

TEST(SplitPieces, KeepsEmptyPiecesAndBlanks) {
    EXPECT_EQ(split_pieces("A; B"), (Pieces{"A", " B"}));
    EXPECT_EQ(split_pieces("G; "), (Pieces{"G", " "}));
    EXPECT_EQ(split_pieces("a;"), (Pieces{"a", ""}));
    EXPECT_EQ(split_pieces(";"), (Pieces{"", ""}));
    EXPECT_EQ(split_pieces(",1-Group,2-User", ','), (Pieces{"", "1-Group", "2-User"}));
}

TEST(RemoveLeadingBlanks, RemovesOnlyLeadingSpaces) {
    EXPECT_EQ(remove_leading_blanks("  B "), "B ");
    EXPECT_EQ(remove_leading_blanks("\tB"), "\tB");
    EXPECT_EQ(remove_leading_blanks("   "), "");
}

TEST(NameListContains, ComparesPiecesWithoutLeadingBlanksAndWithCase) {
    EXPECT_TRUE(name_list_contains("no Group; G", "G"));
    EXPECT_FALSE(name_list_contains("no Group; G ", "G"));
    EXPECT_FALSE(name_list_contains("no Group; g", "G"));
    EXPECT_TRUE(name_list_contains("G; ", ""));
    EXPECT_FALSE(name_list_contains("", ""));
}

}  // namespace
}  // namespace permscope
