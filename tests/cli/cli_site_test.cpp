// tessavo-cli generate, preview, demo, mark-new, mark-published, publish and template.
#include <gtest/gtest.h>

#include "cli_run.h"
#include "templates/package.h"

namespace tessavo::testing {
namespace {

namespace fs = std::filesystem;

class CliSiteTest : public ::testing::Test {
 protected:
  fs::path Output(const std::string& blog) const { return cli.home() / "HTML" / blog; }
  CliFixture cli;
};

TEST_F(CliSiteTest, GenerateWritesTheSiteAndPreviewFindsIt) {
  cli.Ok({"create", "blog.zdb", "--yes", "--title", "Walks"});
  cli.Ok({"entry", "add", "blog.zdb", "--title", "First walk", "--text", "Along the river."});

  CliResult early = cli.Run({"preview", "blog.zdb"});
  EXPECT_EQ(early.status, 1);
  EXPECT_NE(early.out.find("Error: Index File is missing. Preview failed."), std::string::npos)
      << Describe(early);

  std::string log = cli.Ok({"generate", "blog.zdb"});
  EXPECT_NE(log.find("...building page "), std::string::npos) << log;
  EXPECT_EQ(log.find("\033["), std::string::npos);  // no colours off a terminal
  ASSERT_TRUE(fs::exists(Output("blog") / "index.html"));
  EXPECT_NE(ReadFile(Output("blog") / "index.html").find("First walk"), std::string::npos);

  EXPECT_EQ(cli.Ok({"preview", "blog.zdb"}), (Output("blog") / "index.html").string() + "\n");

  // A second run finds nothing new to report for the unchanged home page.
  nlohmann::json again = cli.Json({"generate", "blog.zdb"});
  EXPECT_EQ(again["ok"], true);
  EXPECT_EQ(again["home_page"], (Output("blog") / "index.html").string());
}

TEST_F(CliSiteTest, CreateBringsTheDefaultPackageIntoANewProgramFolder) {
  ASSERT_FALSE(fs::exists(cli.home() / "@default.tem"));
  cli.Ok({"create", "blog.zdb", "--yes"});
  EXPECT_EQ(ReadFile(cli.home() / "@default.tem"), std::string(BuiltInPackageText()));
  for (int run = 0; run < 2; ++run) {
    CliResult r = cli.Run({"generate", "blog.zdb"});
    EXPECT_EQ(r.status, 0) << Describe(r);
    for (const std::string* text : {&r.out, &r.err}) {
      EXPECT_EQ(text->find("can not find"), std::string::npos) << Describe(r);
      EXPECT_EQ(text->find("Error opening"), std::string::npos) << Describe(r);
    }
  }
  // A package that is there is the user's: a later create leaves it as it is.
  WriteFile(cli.home() / "@default.tem", "my own");
  cli.Ok({"create", "second.zdb"});
  EXPECT_EQ(ReadFile(cli.home() / "@default.tem"), "my own");
  // A create that fails because the blog exists brings nothing.
  cli.Run({"create", "blog.zdb", "--home", "untouched"});
  EXPECT_FALSE(fs::exists(cli / "untouched" / "@default.tem"));
  // --home names the program folder that gets it.
  cli.Ok({"create", "third.zdb", "--home", "fresh"});
  EXPECT_EQ(ReadFile(cli / "fresh" / "@default.tem"), std::string(BuiltInPackageText()));
}

TEST_F(CliSiteTest, CreateModernTurnsOnTheWebSettings) {
  cli.Ok({"create", "plain.zdb", "--yes"});
  cli.Ok({"create", "modern.zdb", "--yes", "--modern", "--url", "https://example.org/"});
  for (const char* key : {"702", "703", "707"}) {
    EXPECT_EQ(cli.Ok({"option", "get", "plain.zdb", key}), "0\n") << key;
    EXPECT_EQ(cli.Ok({"option", "get", "modern.zdb", key}), "1\n") << key;
  }
  cli.Ok({"generate", "modern.zdb"});
  EXPECT_TRUE(fs::exists(Output("modern") / "sitemap.xml"));
  EXPECT_TRUE(fs::exists(Output("modern") / "atom.xml"));
  EXPECT_NE(ReadFile(Output("modern") / "index.html")
                .find("<link rel=\"canonical\" href=\"https://example.org/index.html\">"),
            std::string::npos);
}

// --now sets the generation time: an entry after it is held back, and shows once it is due.
TEST_F(CliSiteTest, GenerateNowHoldsBackLaterEntries) {
  cli.Ok({"create", "blog.zdb", "--yes"});
  cli.Ok({"option", "set", "blog.zdb", "708", "1"});
  cli.Ok({"entry", "add", "blog.zdb", "--title", "Next week", "--text", "Soon.", "--date",
          "2030-06-08 10:00:00"});
  std::string log = cli.Ok({"generate", "blog.zdb", "--now", "2030-06-08 09:59:00"});
  EXPECT_NE(log.find("Held back 1 entry dated after the generation time 2030-06-08 09:59:00; "
                     "the next one is dated 2030-06-08 10:00:00"),
            std::string::npos)
      << log;
  EXPECT_FALSE(fs::exists(Output("blog") / "203006.html"));
  EXPECT_EQ(ReadFile(Output("blog") / "index.html").find("Next week"), std::string::npos);
  cli.Ok({"generate", "blog.zdb", "--now", "2030-06-08 10:00:00"});
  EXPECT_TRUE(fs::exists(Output("blog") / "203006.html"));
  EXPECT_NE(ReadFile(Output("blog") / "index.html").find("Next week"), std::string::npos);
  EXPECT_EQ(cli.Run({"generate", "blog.zdb", "--now", "tomorrow"}).status, 2);
}

TEST_F(CliSiteTest, GenerateThatStopsExitsWithOne) {
  cli.Ok({"create", "blog.zdb"});
  WriteFile(cli.home() / "HTML", "a file where the output folders should go");
  CliResult r = cli.Run({"generate", "blog.zdb"});
  EXPECT_EQ(r.status, 1) << Describe(r);
  CliResult garbage = cli.Run({"generate", "nothere.zdb"});
  EXPECT_EQ(garbage.status, 1);
  EXPECT_NE(garbage.err.find("nothere.zdb"), std::string::npos);
}

TEST_F(CliSiteTest, DemoRunsTwice) {
  for (int run = 0; run < 2; ++run) {
    CliResult r = cli.Run({"demo"});
    ASSERT_EQ(r.status, 0) << Describe(r);
    EXPECT_EQ(r.out.find("Error opening"), std::string::npos) << Describe(r);
    EXPECT_EQ(r.out.find("Sorry"), std::string::npos) << Describe(r);
    EXPECT_NE(r.out.find("Demo site: " + (cli.home() / "HTML" / "tessavo-demo").string()),
              std::string::npos)
        << Describe(r);
  }
  EXPECT_TRUE(fs::exists(cli.home() / "HTML" / "tessavo-demo" / "index.html"));
  EXPECT_TRUE(fs::exists(cli.home() / "tessavo-demo.zdb"));
  // The program folder got the default package, so the run found it.
  EXPECT_EQ(ReadFile(cli.home() / "@default.tem"), std::string(BuiltInPackageText()));
  // A default package that is there already is the user's and stays as it is.
  WriteFile(cli.home() / "@default.tem", "damaged");
  CliResult again = cli.Run({"demo"});
  EXPECT_EQ(again.status, 0) << Describe(again);
  EXPECT_EQ(ReadFile(cli.home() / "@default.tem"), "damaged");
  EXPECT_NE(again.out.find("Error opening template package: @default.tem"), std::string::npos);
  // --home chooses the program folder too.
  CliResult other = cli.Run({"demo", "--home", "other-home"});
  ASSERT_EQ(other.status, 0) << Describe(other);
  EXPECT_TRUE(fs::exists(cli / "other-home" / "HTML" / "tessavo-demo" / "index.html"));
}

TEST_F(CliSiteTest, MarkAndPublishByFileCopy) {
  cli.Ok({"create", "blog.zdb", "--yes"});
  cli.Ok({"option", "set", "blog.zdb", "511", "1"});
  cli.Ok({"option", "set", "blog.zdb", "512", (cli / "dest").string()});
  fs::create_directories(cli / "dest");
  cli.Ok({"generate", "blog.zdb"});

  EXPECT_EQ(cli.Run({"mark-published", "blog.zdb"}).status, 1);  // no terminal: No
  cli.Ok({"mark-published", "blog.zdb", "--yes"});
  cli.Ok({"publish", "blog.zdb", "--yes"});
  EXPECT_FALSE(fs::exists(cli / "dest" / "index.html"));  // everything counted as published

  cli.Ok({"mark-new", "blog.zdb", "--yes"});
  CliResult next = cli.Run({"publish", "blog.zdb", "--next", "--yes"});
  EXPECT_EQ(next.status, 0) << Describe(next);
  CliResult all = cli.Run({"publish", "blog.zdb", "--yes"});
  EXPECT_EQ(all.status, 0) << Describe(all);
  EXPECT_TRUE(fs::exists(cli / "dest" / "index.html"));
  EXPECT_EQ(ReadFile(cli / "dest" / "index.html"), ReadFile(Output("blog") / "index.html"));
}

TEST_F(CliSiteTest, PublishThatCannotStartExitsWithOne) {
  cli.Ok({"create", "blog.zdb", "--yes"});
  cli.Ok({"generate", "blog.zdb"});
  // FTP without a site: the run does not start.
  CliResult r = cli.Run({"publish", "blog.zdb", "--yes"});
  EXPECT_EQ(r.status, 1) << Describe(r);
}

TEST_F(CliSiteTest, TemplateUnpackPackValidate) {
  cli.Ok({"template", "unpack", "--builtin", "builtin"});
  EXPECT_TRUE(fs::exists(cli / "builtin" / "description.txt"));
  cli.Ok({"template", "pack", "builtin", "copy.tem"});
  std::string out = cli.Ok({"template", "validate", "copy.tem"});
  EXPECT_NE(out.find("copy.tem: sound template package"), std::string::npos) << out;
  // Unpacking the packed copy again and packing gives the same bytes.
  cli.Ok({"template", "unpack", "copy.tem", "again"});
  cli.Ok({"template", "pack", "again", "again.tem"});
  EXPECT_EQ(ReadFile(cli / "again.tem"), ReadFile(cli / "copy.tem"));

  WriteFile(cli / "broken.tem", "not a package\r\n");
  EXPECT_EQ(cli.Run({"template", "validate", "broken.tem"}).status, 1);
  EXPECT_EQ(cli.Run({"template", "validate", "absent.tem"}).status, 1);
  EXPECT_EQ(cli.Run({"template", "unpack", "--builtin", "a", "b"}).status, 2);
  EXPECT_EQ(cli.Run({"template", "unpack", "copy.tem"}).status, 2);
  EXPECT_EQ(cli.Run({"template", "pack", "no-such-folder", "x.tem"}).status, 1);
  EXPECT_FALSE(fs::exists(cli / "x.tem"));
}

TEST_F(CliSiteTest, TemplatePackRefusesASymbolicLinkAndNamesIt) {
  cli.Ok({"template", "unpack", "--builtin", "design"});
  WriteFile(cli / "private" / "key.txt", "PRIVATE KEY");
  fs::create_symlink(cli / "private" / "key.txt", cli / "design" / "files" / "key.css");
  fs::remove(cli / "design" / "files.txt");  // every file in files/ is taken
  CliResult r = cli.Run({"template", "pack", "design", "design.tem"});
  EXPECT_EQ(r.status, 1) << Describe(r);
  EXPECT_NE(r.err.find("files/key.css (a symbolic link)"), std::string::npos) << Describe(r);
  EXPECT_FALSE(fs::exists(cli / "design.tem"));
  fs::remove(cli / "design" / "files" / "key.css");
  cli.Ok({"template", "pack", "design", "design.tem"});
  EXPECT_NE(cli.Ok({"template", "validate", "design.tem"}).find("sound template package"),
            std::string::npos);
}

}  // namespace
}  // namespace tessavo::testing
