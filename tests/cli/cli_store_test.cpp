// tessavo-cli on blog files: create, info, entries, pictures, files, categories, options,
// and the exit statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cli_run.h"
#include "skip_or_fail.h"
#include "store/options.h"

namespace tessavo::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::vector<std::string> FileNames(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

const json* FindByTitle(const json& list, const std::string& title) {
  for (const auto& e : list) {
    if (e["BlogTitle"] == title) return &e;
  }
  return nullptr;
}

// A 3 x 2 PNG header: enough for the dimension reader.
std::string SmallPng() {
  std::string png("\x89PNG\r\n\x1a\n", 8);
  png += std::string("\0\0\0\x0dIHDR", 8);
  png += std::string("\0\0\0\x03\0\0\0\x02\x08\x02\0\0\0", 13);
  png += std::string("\x12\x34\x56\x78", 4);
  return png;
}

class CliStoreTest : public ::testing::Test {
 protected:
  CliFixture cli;
};

TEST_F(CliStoreTest, NewcomerSequence) {
  cli.Ok({"create", "blog.zdb", "--yes"});
  EXPECT_EQ(cli.Ok({"entry", "add", "blog.zdb", "--title", "T", "--text", "X"}),
            "Added entry 6.\n");
  json list = cli.Json({"entry", "list", "blog.zdb"});
  ASSERT_TRUE(list.is_array());
  // Starter entries of a wizard answered all Yes: home, recent, About, Links, welcome.
  EXPECT_EQ(list.size(), 6u);
  const json* mine = FindByTitle(list, "T");
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ((*mine)["BlogText"], "X");
  EXPECT_EQ((*mine)["BlogPageType"], 0);
  EXPECT_EQ((*mine)["BlogCategory"], -1);
  EXPECT_EQ((*mine)["BlogKey"], 6);
  for (const char* field :
       {"BlogKey", "BlogDateTime", "BlogTitle", "BlogText", "BlogCategory", "BlogCoolURL",
        "BlogPageType", "BlogPageName", "BlogKeywords", "BlogTeaser", "BlogSidebar", "BlogExtra1",
        "BlogExtra2", "BlogTitle1", "BlogTitle2", "BlogMetaDesc"}) {
    EXPECT_TRUE(mine->contains(field)) << field;
  }
  EXPECT_NE(FindByTitle(list, "Welcome to Tessavo"), nullptr);
  EXPECT_NE(FindByTitle(list, "About Me"), nullptr);
}

TEST_F(CliStoreTest, SchemaHoldsTheSixTables) {
  if (std::string(TESSAVO_SQLITE3_EXE).empty() ||
      std::string(TESSAVO_SQLITE3_EXE).find("NOTFOUND") != std::string::npos) {
    SKIP_OR_FAIL("the sqlite3 program is not installed (scripts/setup)");
  }
  cli.Ok({"create", "blog.zdb"});
  CliResult r = RunProgram(TESSAVO_SQLITE3_EXE, {"blog.zdb", ".schema"}, cli.dir(), cli.home());
  ASSERT_EQ(r.status, 0) << Describe(r);
  for (const char* table :
       {"tblBlog", "tblPictures", "tblFiles", "tblOptions", "tblCategory", "tblPages"}) {
    EXPECT_NE(r.out.find("CREATE TABLE " + std::string(table)), std::string::npos) << table << "\n"
                                                                                   << r.out;
  }
}

TEST_F(CliStoreTest, WizardAnswersAndOptionFlags) {
  // No terminal and no --answers: every question answered Yes, as with --yes.
  cli.Ok({"create", "yes.zdb"});
  EXPECT_EQ(cli.Json({"entry", "list", "yes.zdb"}).size(), 5u);

  cli.Ok({"create", "no.zdb", "--answers", "nnnnn", "--title", "My Blog", "--url",
          "http://example.com/", "--template", "plain.tem"});
  json list = cli.Json({"entry", "list", "no.zdb"});
  ASSERT_EQ(list.size(), 3u);  // home page, recent entries, welcome
  bool sample_home = false;
  for (const auto& e : list) {
    if (e["BlogPageType"] == 4) {
      sample_home = e["BlogText"].get<std::string>().rfind("This is a sample home page.", 0) == 0;
    }
  }
  EXPECT_TRUE(sample_home);
  EXPECT_EQ(cli.Ok({"option", "get", "no.zdb", "245"}), "0\n");
  EXPECT_EQ(cli.Ok({"option", "get", "no.zdb", "249"}), "1\n");
  EXPECT_EQ(cli.Ok({"option", "get", "no.zdb", "101"}), "My Blog\n");
  EXPECT_EQ(cli.Ok({"option", "get", "no.zdb", "102"}), "http://example.com/\n");
  EXPECT_EQ(cli.Ok({"option", "get", "no.zdb", "301"}), "plain.tem\n");

  // An existing file is not overwritten.
  auto before = ReadFile(cli / "no.zdb");
  CliResult again = cli.Run({"create", "no.zdb", "--yes"});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.out.find("Blog already Exists -- choose \"Open Blog\" rather than \"Start a "
                           "New Blog\".\n\n"),
            std::string::npos)
      << Describe(again);
  EXPECT_EQ(ReadFile(cli / "no.zdb"), before);
}

TEST_F(CliStoreTest, InfoShowsFileVersionCountsAndTitle) {
  cli.Ok({"create", "blog.zdb", "--title", "Notes"});
  std::string out = cli.Ok({"info", "blog.zdb"});
  EXPECT_NE(out.find("File:          blog.zdb\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Version:       83\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Title:         Notes\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Entries:       5\n"), std::string::npos) << out;
  json info = cli.Json({"info", "blog.zdb"});
  EXPECT_EQ(info["version"], 83);
  EXPECT_EQ(info["pictures"], 0);
  EXPECT_EQ(info["categories"], 0);
}

TEST_F(CliStoreTest, MissingOrGarbageBlogFileFailsAndChangesNothing) {
  CliResult missing = cli.Run({"entry", "list", "nothere.zdb"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("nothere.zdb"), std::string::npos) << Describe(missing);
  EXPECT_EQ(cli.Run({"info", "nothere.zdb"}).status, 1);
  EXPECT_EQ(cli.Run({"entry", "add", "nothere.zdb", "--title", "x"}).status, 1);
  EXPECT_FALSE(fs::exists(cli / "nothere.zdb"));

  std::string garbage = "this is not a database, just some text\n";
  WriteFile(cli / "garbage.zdb", garbage);
  auto names_before = FileNames(cli.dir());
  CliResult bad = cli.Run({"entry", "add", "garbage.zdb", "--title", "x"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("garbage.zdb"), std::string::npos) << Describe(bad);
  EXPECT_EQ(cli.Run({"option", "set", "garbage.zdb", "101", "x"}).status, 1);
  EXPECT_EQ(ReadFile(cli / "garbage.zdb"), garbage);
  EXPECT_EQ(FileNames(cli.dir()), names_before);
}

TEST_F(CliStoreTest, UsageErrorsExitWithTwo) {
  cli.Ok({"create", "blog.zdb"});
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"frobnicate"},
      {"entry"},
      {"entry", "add"},
      {"entry", "add", "blog.zdb", "--type", "poem"},
      {"entry", "add", "blog.zdb", "--date", "2024-13-01 00:00:00"},
      {"entry", "add", "blog.zdb", "--text", "a", "--text-file", "b"},
      {"entry", "remove", "blog.zdb", "abc"},
      {"create", "new.zdb", "--answers", "yyy"},
      {"create", "new.zdb", "--answers", "yyyyx"},
      {"option", "set", "blog.zdb", "101"},
      {"backup", "blog.zdb", "--keep", "26"},
      {"entry", "list", "blog.zdb", "--no-such-flag"},
  };
  for (const auto& args : bad) {
    CliResult r = cli.Run(args);
    std::string shown;
    for (const auto& a : args) shown += a + " ";
    EXPECT_EQ(r.status, 2) << shown << "\n" << Describe(r);
  }
  EXPECT_FALSE(fs::exists(cli / "new.zdb"));
  EXPECT_EQ(cli.Json({"entry", "list", "blog.zdb"}).size(), 5u);
  // Help is no error.
  EXPECT_EQ(cli.Run({"--help"}).status, 0);
  EXPECT_EQ(cli.Run({"entry", "add", "--help"}).status, 0);
}

TEST_F(CliStoreTest, EntryFieldsEditShowAndRemove) {
  cli.Ok({"create", "blog.zdb", "--answers", "ynnnn"});  // home, recent, welcome
  json added = cli.Json({"entry",      "add",      "blog.zdb",    "--date",   "2024-05-06 07:08:09",
                         "--title",    "Art",      "--type",      "article",  "--page-name",
                         "art",        "--url",    "http://x/",   "--teaser", "tease",
                         "--keywords", "k",        "--sidebar",   "side",     "--extra1",
                         "e1",         "--extra2", "e2",          "--title1", "t1",
                         "--title2",   "t2",       "--meta-desc", "md"});
  int key = added["BlogKey"];
  EXPECT_EQ(added["BlogDateTime"], "2024-05-06 07:08:09");
  EXPECT_EQ(added["BlogPageType"], 1);
  EXPECT_EQ(added["BlogPageName"], "art");
  EXPECT_EQ(added["BlogCoolURL"], "http://x/");
  EXPECT_EQ(added["BlogMetaDesc"], "md");
  EXPECT_EQ(added["BlogTitle2"], "t2");

  WriteFile(cli / "text.html", "<p>from a file</p>\n");
  cli.Ok({"entry", "edit", "blog.zdb", std::to_string(key), "--title", "Art 2", "--text-file",
          "text.html", "--type", "6"});
  json shown = cli.Json({"entry", "show", "blog.zdb", std::to_string(key)});
  EXPECT_EQ(shown["BlogTitle"], "Art 2");
  EXPECT_EQ(shown["BlogText"], "<p>from a file</p>\n");
  EXPECT_EQ(shown["BlogPageType"], 6);
  // Fields not given stay as they were.
  EXPECT_EQ(shown["BlogTeaser"], "tease");
  EXPECT_EQ(shown["BlogDateTime"], "2024-05-06 07:08:09");
  EXPECT_EQ(shown["BlogPageName"], "art");

  std::string text = cli.Ok({"entry", "show", "blog.zdb", std::to_string(key)});
  EXPECT_NE(text.find("BlogTitle: Art 2\n"), std::string::npos) << text;
  EXPECT_NE(text.find("BlogPageType: 6 (redirect)\n"), std::string::npos) << text;

  // Removing asks; without a terminal or --yes the answer is Cancel and nothing changes.
  CliResult refused = cli.Run({"entry", "remove", "blog.zdb", std::to_string(key)});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("Remove Blog Entry? \n\nArt 2 (2024-05-06 07:08:09)."),
            std::string::npos)
      << Describe(refused);
  EXPECT_EQ(cli.Json({"entry", "list", "blog.zdb"}).size(), 4u);
  // A "y" on stdin is no terminal's answer either.
  EXPECT_EQ(cli.Run({"entry", "remove", "blog.zdb", std::to_string(key)}, "y\n").status, 1);
  cli.Ok({"entry", "remove", "blog.zdb", std::to_string(key), "--yes"});
  EXPECT_EQ(cli.Json({"entry", "list", "blog.zdb"}).size(), 3u);

  // Unknown keys and categories are errors naming what is missing.
  CliResult no_entry = cli.Run({"entry", "edit", "blog.zdb", "999", "--title", "x"});
  EXPECT_EQ(no_entry.status, 1);
  EXPECT_NE(no_entry.err.find("No entry with key 999"), std::string::npos);
  CliResult no_cat = cli.Run({"entry", "add", "blog.zdb", "--category", "77"});
  EXPECT_EQ(no_cat.status, 1);
  EXPECT_NE(no_cat.err.find("No category with key 77"), std::string::npos);
  EXPECT_EQ(cli.Json({"entry", "list", "blog.zdb"}).size(), 3u);
}

TEST_F(CliStoreTest, ListOrderNewestFirstAndOldestFirst) {
  cli.Ok({"create", "blog.zdb", "--answers", "ynnnn"});
  cli.Ok({"entry", "add", "blog.zdb", "--title", "old", "--date", "2001-01-01 00:00:00"});
  cli.Ok({"entry", "add", "blog.zdb", "--title", "older", "--date", "2000-01-01 00:00:00"});
  json newest = cli.Json({"entry", "list", "blog.zdb"});
  json oldest = cli.Json({"entry", "list", "blog.zdb", "--oldest-first"});
  ASSERT_EQ(newest.size(), 5u);
  EXPECT_EQ(newest.back()["BlogTitle"], "older");
  EXPECT_EQ(oldest.front()["BlogTitle"], "older");
  EXPECT_EQ(oldest[1]["BlogTitle"], "old");
  std::string plain = cli.Ok({"entry", "list", "blog.zdb"});
  EXPECT_NE(plain.find("2000-01-01 00:00:00"), std::string::npos) << plain;
}

TEST_F(CliStoreTest, ImportJsonLinesAllOrNothing) {
  cli.Ok({"create", "blog.zdb", "--answers", "ynnnn"});
  WriteFile(cli / "good.jsonl",
            "{\"BlogTitle\":\"one\",\"BlogDateTime\":\"2020-01-01 10:00:00\",\"BlogText\":\"a\"}\n"
            "\n"
            "{\"BlogTitle\":\"two\",\"BlogPageType\":\"static\",\"BlogPageName\":\"two\"}\r\n"
            "{\"BlogTitle\":\"three\",\"BlogPageType\":2,\"BlogCategory\":-1,\"BlogKey\":1}\n");
  EXPECT_EQ(cli.Ok({"entry", "import", "blog.zdb", "good.jsonl"}), "Imported 3 entries.\n");
  json list = cli.Json({"entry", "list", "blog.zdb"});
  ASSERT_EQ(list.size(), 6u);
  const json* one = FindByTitle(list, "one");
  ASSERT_NE(one, nullptr);
  EXPECT_EQ((*one)["BlogDateTime"], "2020-01-01 10:00:00");
  EXPECT_EQ((*one)["BlogText"], "a");
  ASSERT_NE(FindByTitle(list, "two"), nullptr);
  EXPECT_EQ((*FindByTitle(list, "two"))["BlogPageType"], 2);
  EXPECT_NE((*FindByTitle(list, "three"))["BlogKey"], 1);  // keys come from the store

  WriteFile(cli / "bad.jsonl",
            "{\"BlogTitle\":\"four\"}\n"
            "{\"BlogTitle\":\"five\"}\n"
            "{\"BlogTitle\":\"six\",\"BlogDateTime\":\"not a date\"}\n");
  CliResult bad = cli.Run({"entry", "import", "blog.zdb", "bad.jsonl"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("bad.jsonl:3: BlogDateTime"), std::string::npos) << Describe(bad);
  WriteFile(cli / "broken.jsonl", "{\"BlogTitle\":\"seven\"}\n{\"BlogTitle\":\n");
  CliResult broken = cli.Run({"entry", "import", "blog.zdb", "broken.jsonl"});
  EXPECT_EQ(broken.status, 1);
  EXPECT_NE(broken.err.find("broken.jsonl:2: not valid JSON"), std::string::npos)
      << Describe(broken);
  // A title too long for its field is refused by the store: the whole file again.
  WriteFile(cli / "long.jsonl",
            "{\"BlogTitle\":\"eight\"}\n{\"BlogTitle\":\"" + std::string(300, 'x') + "\"}\n");
  EXPECT_EQ(cli.Run({"entry", "import", "blog.zdb", "long.jsonl"}).status, 1);
  EXPECT_EQ(cli.Json({"entry", "list", "blog.zdb"}).size(), 6u);

  CliResult none = cli.Run({"entry", "import", "blog.zdb", "absent.jsonl"});
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("absent.jsonl"), std::string::npos);
}

TEST_F(CliStoreTest, OptionGetSetList) {
  cli.Ok({"create", "blog.zdb"});
  EXPECT_EQ(cli.Ok({"option", "get", "blog.zdb", "101"}), "Please enter a Title\n");
  cli.Ok({"option", "set", "blog.zdb", "101", "My Blog"});
  EXPECT_EQ(cli.Ok({"option", "get", "blog.zdb", "101"}), "My Blog\n");
  cli.Ok({"option", "set", "blog.zdb", "103", "7"});
  EXPECT_EQ(cli.Ok({"option", "get", "blog.zdb", "103"}), "7\n");
  // A choice option keeps a value without a caption and shows it empty.
  cli.Ok({"option", "set", "blog.zdb", "104", "7"});
  json o104 = cli.Json({"option", "get", "blog.zdb", "104"});
  EXPECT_EQ(o104["value"], 7);
  EXPECT_EQ(o104["OptionValue"], "");
  // Kinds are checked: a number option takes a whole number only.
  CliResult not_number = cli.Run({"option", "set", "blog.zdb", "103", "seven"});
  EXPECT_EQ(not_number.status, 1);
  EXPECT_NE(not_number.err.find("whole number"), std::string::npos);
  EXPECT_EQ(cli.Run({"option", "set", "blog.zdb", "104", "1.5"}).status, 1);
  EXPECT_EQ(cli.Run({"option", "set", "blog.zdb", "999", "84"}).status, 1);
  EXPECT_EQ(cli.Run({"option", "get", "blog.zdb", "100"}).status, 1);
  EXPECT_EQ(cli.Run({"option", "set", "blog.zdb", "101", std::string(251, 'x')}).status, 1);
  EXPECT_EQ(cli.Ok({"option", "get", "blog.zdb", "103"}), "7\n");
  // Memo values from a file; the password is never shown in the list.
  std::string about(51, 'a');
  WriteFile(cli / "about.txt", about);
  cli.Ok({"option", "set", "blog.zdb", "105", "--from-file", "about.txt"});
  cli.Ok({"option", "set", "blog.zdb", "505", "secret"});
  EXPECT_EQ(cli.Ok({"option", "get", "blog.zdb", "105"}), about + "\n");
  json list = cli.Json({"option", "list", "blog.zdb"});
  ASSERT_EQ(list.size(), 72u + ExtraOptionDefinitions().size());
  EXPECT_EQ(list.front()["OptionKey"], 101);
  bool seen_about = false, seen_password = false;
  for (const auto& o : list) {
    if (o["OptionKey"] == 105) {
      seen_about = o["OptionValue"] == std::string(50, 'a') + "...";
    }
    if (o["OptionKey"] == 505) seen_password = o["OptionValue"] == "(entered)";
  }
  EXPECT_TRUE(seen_about);
  EXPECT_TRUE(seen_password);
  std::string plain = cli.Ok({"option", "list", "blog.zdb"});
  EXPECT_NE(plain.find(" 505  FTP Password: (entered)\n"), std::string::npos) << plain;
  EXPECT_EQ(plain.find("secret"), std::string::npos);

  // Settings of our own are listed, read and set by number like any option.
  EXPECT_NE(plain.find(" 708  Hold back entries dated in the future: No\n"), std::string::npos);
  cli.Ok({"option", "set", "blog.zdb", "708", "1"});
  EXPECT_EQ(cli.Ok({"option", "get", "blog.zdb", "708"}), "1\n");
  cli.Ok({"option", "set", "blog.zdb", "701", "fr"});
  EXPECT_NE(cli.Ok({"option", "list", "blog.zdb"}).find(" 701  Blog Language: fr\n"),
            std::string::npos);
}

TEST_F(CliStoreTest, PictureAddListSaveRemove) {
  cli.Ok({"create", "blog.zdb"});
  std::string png = SmallPng();
  WriteFile(cli / "pics" / "Dot.png", png);
  WriteFile(cli / "pics" / "photo.jpeg", "not really a jpeg");
  cli.Ok({"picture", "add", "blog.zdb", "pics/Dot.png", "pics/photo.jpeg"});
  json list = cli.Json({"picture", "list", "blog.zdb"});
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0]["BlogPictureName"], "Dot.png");
  EXPECT_EQ(list[0]["BlogPictureWidth"], 3);
  EXPECT_EQ(list[0]["BlogPictureHeight"], 2);
  EXPECT_EQ(list[0]["BlogPictureSize"], static_cast<int>(png.size()));
  EXPECT_EQ(list[1]["BlogPictureName"], "photo.jpeg");
  EXPECT_EQ(list[1]["BlogPictureWidth"], -1);

  cli.Ok({"picture", "save", "blog.zdb", "dot.png", "copy.png"});
  EXPECT_EQ(ReadFile(cli / "copy.png"), png);
  fs::create_directories(cli / "out");
  cli.Ok({"picture", "save", "blog.zdb", "Dot.png", "out"});
  EXPECT_EQ(ReadFile(cli / "out" / "Dot.png"), png);

  // The same name in other letter case asks before replacing.
  WriteFile(cli / "DOT.PNG", png + "more");
  CliResult refused = cli.Run({"picture", "add", "blog.zdb", "DOT.PNG"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("Replace Blog Picture? \n\nDOT.PNG\n\n ( Added "), std::string::npos)
      << Describe(refused);
  EXPECT_EQ(cli.Json({"picture", "list", "blog.zdb"})[0]["BlogPictureName"], "Dot.png");
  cli.Ok({"picture", "add", "blog.zdb", "DOT.PNG", "--yes"});
  list = cli.Json({"picture", "list", "blog.zdb"});
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0]["BlogPictureName"], "DOT.PNG");
  EXPECT_EQ(list[0]["BlogPictureSize"], static_cast<int>(png.size() + 4));

  CliResult missing = cli.Run({"picture", "add", "blog.zdb", "nope.png"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("nope.png"), std::string::npos);

  EXPECT_EQ(cli.Run({"picture", "remove", "blog.zdb", "photo.jpeg"}).status, 1);
  cli.Ok({"picture", "remove", "blog.zdb", "photo.jpeg", "--yes"});
  EXPECT_EQ(cli.Json({"picture", "list", "blog.zdb"}).size(), 1u);
  EXPECT_EQ(cli.Run({"picture", "save", "blog.zdb", "photo.jpeg"}).status, 1);
}

TEST_F(CliStoreTest, FileAddListSaveRemove) {
  cli.Ok({"create", "blog.zdb"});
  WriteFile(cli / "empty.zip", "");
  WriteFile(cli / "notes.txt", "some notes\n");
  cli.Ok({"file", "add", "blog.zdb", "notes.txt", "empty.zip"});
  json list = cli.Json({"file", "list", "blog.zdb"});
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0]["BlogFileName"], "empty.zip");
  EXPECT_EQ(list[0]["BlogFileSize"], 0);
  EXPECT_EQ(list[0]["BlogFileCRC"], 0);
  fs::create_directories(cli / "sub");
  WriteFile(cli / "sub" / "marker", "");
  RunProgram(TESSAVO_CLI_EXE, {"file", "save", "../blog.zdb", "NOTES.TXT"}, cli / "sub",
             cli.home());
  EXPECT_EQ(ReadFile(cli / "sub" / "notes.txt"), "some notes\n");
  cli.Ok({"file", "remove", "blog.zdb", "notes.txt", "--yes"});
  EXPECT_EQ(cli.Json({"file", "list", "blog.zdb"}).size(), 1u);
}

TEST_F(CliStoreTest, CategoriesAndTheirEntries) {
  cli.Ok({"create", "blog.zdb", "--answers", "ynnnn"});
  json cat = cli.Json({"category", "add", "blog.zdb", "--title", "Travel", "--text", "Trips"});
  int key = cat["CategoryKey"];
  EXPECT_EQ(cat["CategoryName"].get<std::string>().substr(0, 1), "c");
  EXPECT_EQ(cat["CategoryName"].get<std::string>().size(), 15u);
  cli.Ok({"category", "edit", "blog.zdb", std::to_string(key), "--page-name", "travel"});
  json cats = cli.Json({"category", "list", "blog.zdb"});
  ASSERT_EQ(cats.size(), 1u);
  EXPECT_EQ(cats[0]["CategoryName"], "travel");
  EXPECT_EQ(cats[0]["CategoryText"], "Trips");

  for (int i = 0; i < 3; ++i) {
    cli.Ok({"entry", "add", "blog.zdb", "--title", "trip", "--category", std::to_string(key)});
  }
  CliResult refused = cli.Run({"category", "remove", "blog.zdb", std::to_string(key)});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("Category \"Travel\" is being used on 3 entries.\n\nContinue?"),
            std::string::npos)
      << Describe(refused);
  EXPECT_EQ(cli.Json({"category", "list", "blog.zdb"}).size(), 1u);

  cli.Ok({"category", "remove", "blog.zdb", std::to_string(key), "--yes"});
  EXPECT_EQ(cli.Json({"category", "list", "blog.zdb"}).size(), 0u);
  int cleared = 0;
  for (const auto& e : cli.Json({"entry", "list", "blog.zdb"})) {
    if (e["BlogTitle"] == "trip") {
      EXPECT_EQ(e["BlogCategory"], -1);
      ++cleared;
    }
  }
  EXPECT_EQ(cleared, 3);
}

bool IsTimeStamp(const json& name) {
  const std::string s = name.get<std::string>();
  return s.size() == 14 &&
         std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

TEST_F(CliStoreTest, EntriesWithoutAPageNameGetATimeStampOfTheirOwn) {
  cli.Ok({"create", "blog.zdb", "--answers", "nnnnn"});
  for (const char* type : {"article", "article", "static", "hidden", "redirect", "freeformat"}) {
    json added = cli.Json({"entry", "add", "blog.zdb", "--title", type, "--type", type});
    EXPECT_TRUE(IsTimeStamp(added["BlogPageName"])) << added.dump();
  }
  // A one-letter name is replaced too; a name of two letters is kept.
  json one = cli.Json({"entry", "add", "blog.zdb", "--type", "article", "--page-name", "a"});
  EXPECT_TRUE(IsTimeStamp(one["BlogPageName"])) << one.dump();
  EXPECT_EQ(cli.Json({"entry", "add", "blog.zdb", "--type", "static", "--page-name",
                      "ab"})["BlogPageName"],
            "ab");
  // Types without a page of their own keep no page name.
  json plain = cli.Json({"entry", "add", "blog.zdb", "--page-name", "ignored"});
  EXPECT_EQ(plain["BlogPageName"], "");
  json home = cli.Json({"entry", "add", "blog.zdb", "--type", "home", "--page-name", "x1"});
  EXPECT_EQ(home["BlogPageName"], "");

  // Editing: an article whose name is emptied gets a time stamp; turning it into an
  // ordinary entry drops the name.
  int key = one["BlogKey"];
  json edited = cli.Json({"entry", "edit", "blog.zdb", std::to_string(key), "--page-name", ""});
  EXPECT_TRUE(IsTimeStamp(edited["BlogPageName"])) << edited.dump();
  json demoted = cli.Json({"entry", "edit", "blog.zdb", std::to_string(key), "--type", "entry"});
  EXPECT_EQ(demoted["BlogPageName"], "");

  // Import: every page-owning entry without a name gets one, none shared.
  std::string lines;
  for (int i = 0; i < 5; ++i) {
    lines += "{\"BlogTitle\":\"imported " + std::to_string(i) + "\",\"BlogPageType\":1}\n";
  }
  lines += "{\"BlogTitle\":\"plain\",\"BlogPageType\":0,\"BlogPageName\":\"gone\"}\n";
  WriteFile(cli / "import.jsonl", lines);
  cli.Ok({"entry", "import", "blog.zdb", "import.jsonl"});
  for (const json& e : cli.Json({"entry", "list", "blog.zdb"})) {
    const std::string title = e["BlogTitle"];
    if (title.rfind("imported ", 0) == 0) {
      EXPECT_TRUE(IsTimeStamp(e["BlogPageName"])) << e.dump();
    }
    if (title == "plain") {
      EXPECT_EQ(e["BlogPageName"], "");
    }
  }
  // Saved within a few seconds, yet every page-owning entry on a page of its own.
  std::vector<std::string> held;
  for (const json& e : cli.Json({"entry", "list", "blog.zdb"})) {
    if (!e["BlogPageName"].get<std::string>().empty()) held.push_back(e["BlogPageName"]);
  }
  EXPECT_EQ(held.size(), 12u);  // six added, "ab", the one edited later dropped, five imported
  std::sort(held.begin(), held.end());
  EXPECT_EQ(std::adjacent_find(held.begin(), held.end()), held.end());
}

TEST_F(CliStoreTest, NamesWithControlCharactersAreRefusedAtEveryDoor) {
  cli.Ok({"create", "blog.zdb", "--answers", "nnnnn"});
  json kept = cli.Json({"entry", "add", "blog.zdb", "--type", "static", "--page-name", "kept"});
  const std::string bad = "x\r\nDELE victim.txt";

  CliResult add = cli.Run({"entry", "add", "blog.zdb", "--type", "static", "--page-name", bad});
  EXPECT_EQ(add.status, 1);
  EXPECT_NE(add.err.find("Page Name (BlogPageName) may not hold control characters"),
            std::string::npos)
      << Describe(add);
  CliResult edit = cli.Run({"entry", "edit", "blog.zdb", std::to_string(int(kept["BlogKey"])),
                            "--page-name", "tab\there"});
  EXPECT_EQ(edit.status, 1);
  EXPECT_NE(edit.err.find("BlogPageName"), std::string::npos) << Describe(edit);
  WriteFile(
      cli / "bad.jsonl",
      "{\"BlogTitle\":\"fine\",\"BlogPageType\":2,\"BlogPageName\":\"fine\"}\n"
      "{\"BlogTitle\":\"bad\",\"BlogPageType\":2,\"BlogPageName\":\"x\\r\\nDELE victim.txt\"}\n");
  CliResult import = cli.Run({"entry", "import", "blog.zdb", "bad.jsonl"});
  EXPECT_EQ(import.status, 1);
  EXPECT_NE(import.err.find("BlogPageName"), std::string::npos) << Describe(import);
  json list = cli.Json({"entry", "list", "blog.zdb"});
  EXPECT_EQ(FindByTitle(list, "fine"), nullptr);  // the import stored nothing
  EXPECT_EQ(FindByTitle(list, "bad"), nullptr);
  for (const json& e : list) {
    EXPECT_FALSE(e["BlogPageName"].get<std::string>().find_first_of("\r\n\t") != std::string::npos)
        << e.dump();
  }
  EXPECT_EQ(
      cli.Json({"entry", "show", "blog.zdb", std::to_string(int(kept["BlogKey"]))})["BlogPageName"],
      "kept");

  CliResult category = cli.Run({"category", "add", "blog.zdb", "--title", "T", "--name", bad});
  EXPECT_EQ(category.status, 1);
  EXPECT_NE(category.err.find("Category Name (CategoryName)"), std::string::npos)
      << Describe(category);
  EXPECT_EQ(cli.Json({"category", "list", "blog.zdb"}).size(), 0u);

  // A file whose own name holds a line break, as a Linux file name may.
  WriteFile(cli / "in" / bad, "GIF89a");
  WriteFile(cli / "in" / "good.gif", "GIF89a");
  CliResult picture = cli.Run({"picture", "add", "blog.zdb", "in/" + bad, "in/good.gif", "--yes"});
  EXPECT_EQ(picture.status, 1);
  EXPECT_NE(picture.err.find("Picture name (BlogPictureName) may not hold control characters"),
            std::string::npos)
      << Describe(picture);
  json pictures = cli.Json({"picture", "list", "blog.zdb"});
  ASSERT_EQ(pictures.size(), 1u);
  EXPECT_EQ(pictures[0]["BlogPictureName"], "good.gif");
  CliResult file = cli.Run({"file", "add", "blog.zdb", "in/" + bad, "--yes"});
  EXPECT_EQ(file.status, 1);
  EXPECT_NE(file.err.find("File name (BlogFileName)"), std::string::npos) << Describe(file);
  EXPECT_EQ(cli.Json({"file", "list", "blog.zdb"}).size(), 0u);
}

}  // namespace
}  // namespace tessavo::testing
