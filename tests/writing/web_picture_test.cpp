// "Prepare pictures for the web" through tessavo-cli picture add, checked by reading the
// stored picture back with exiftool.
#include <gtest/gtest.h>

#include <vips/vips8>

#include "cli_run.h"
#include "skip_or_fail.h"

namespace tessavo::testing {
namespace {

namespace fs = std::filesystem;

class WebPictureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string(TESSAVO_EXIFTOOL_EXE).find("NOTFOUND") != std::string::npos) {
      SKIP_OR_FAIL("exiftool is not installed (libimage-exiftool-perl, scripts/setup)");
    }
    ASSERT_EQ(VIPS_INIT("web_picture_test"), 0);
    cli.Ok({"create", "blog.zdb"});
  }

  // Runs exiftool on `file` and returns its JSON record (numbers as numbers).
  nlohmann::json Tags(const fs::path& file) const {
    CliResult r = RunProgram(TESSAVO_EXIFTOOL_EXE, {"-j", "-n", "-a", "-G1", file.string()},
                             cli.dir(), cli.home());
    EXPECT_EQ(r.status, 0) << Describe(r);
    return nlohmann::json::parse(r.out).at(0);
  }

  static bool HasGps(const nlohmann::json& tags) {
    for (const auto& [key, value] : tags.items()) {
      if (key.find("GPS") != std::string::npos) return true;
    }
    return false;
  }

  // A 3000 x 2000 photograph as a phone stores it: sideways pixels with EXIF orientation 6,
  // a GPS position and a camera serial number.
  fs::path PhonePhoto(const std::string& name) const {
    const fs::path file = cli / name;
    vips::VImage image = vips::VImage::xyz(3000, 2000)
                             .extract_band(0)
                             .linear(0.08, 10)
                             .cast(VIPS_FORMAT_UCHAR)
                             .bandjoin_const({90.0, 160.0});
    image.jpegsave(file.c_str(), vips::VImage::option()->set("Q", 95));
    CliResult r = RunProgram(
        TESSAVO_EXIFTOOL_EXE,
        {"-overwrite_original", "-n", "-Orientation=6", "-GPSLatitude=47.3769", "-GPSLatitudeRef=N",
         "-GPSLongitude=8.5417", "-GPSLongitudeRef=E", "-SerialNumber=ABC123", file.string()},
        cli.dir(), cli.home());
    EXPECT_EQ(r.status, 0) << Describe(r);
    return file;
  }

  CliFixture cli;
};

TEST_F(WebPictureTest, PreparedPhotoIsUprightWithoutLocationAndNoWiderThanTheLimit) {
  const fs::path photo = PhonePhoto("photo.jpg");
  const std::string original = ReadFile(photo);
  ASSERT_TRUE(HasGps(Tags(photo)));
  ASSERT_EQ(Tags(photo)["IFD0:Orientation"], 6);

  cli.Ok({"option", "set", "blog.zdb", "720", "1"});
  CliResult add = cli.Run({"picture", "add", "blog.zdb", photo.string()});
  ASSERT_EQ(add.status, 0) << Describe(add);
  EXPECT_NE(add.out.find("...prepared picture photo.jpg for the web: turned upright, metadata "
                         "removed, 3000 x 2000 scaled to 1600 x 2400; " +
                         std::to_string(original.size()) + " bytes before, "),
            std::string::npos)
      << Describe(add);
  EXPECT_EQ(ReadFile(photo), original);  // the file on disk is never changed

  cli.Ok({"picture", "save", "blog.zdb", "photo.jpg", (cli / "stored.jpg").string()});
  const nlohmann::json tags = Tags(cli / "stored.jpg");
  EXPECT_FALSE(HasGps(tags)) << tags.dump();
  EXPECT_FALSE(tags.contains("IFD0:Orientation") && tags["IFD0:Orientation"] != 1) << tags.dump();
  EXPECT_EQ(tags.dump().find("ABC123"), std::string::npos) << tags.dump();
  EXPECT_EQ(tags["File:ImageWidth"], 1600);
  EXPECT_EQ(tags["File:ImageHeight"], 2400);
  // Upright: the stored pixels are taller than wide, as the phone showed the picture.
  vips::VImage stored = vips::VImage::new_from_file((cli / "stored.jpg").c_str());
  EXPECT_EQ(stored.width(), 1600);
  EXPECT_EQ(stored.height(), 2400);

  // The record holds the CRC and the pixel size of the stored bytes.
  nlohmann::json list = cli.Json({"picture", "list", "blog.zdb"});
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0]["BlogPictureWidth"], 1600);
  EXPECT_EQ(list[0]["BlogPictureHeight"], 2400);
  EXPECT_EQ(list[0]["BlogPictureSize"], ReadFile(cli / "stored.jpg").size());
  EXPECT_LT(ReadFile(cli / "stored.jpg").size(), original.size());

  // A smaller limit.
  cli.Ok({"option", "set", "blog.zdb", "721", "800"});
  cli.Ok({"--yes", "picture", "add", "blog.zdb", photo.string()});
  cli.Ok({"picture", "save", "blog.zdb", "photo.jpg", (cli / "small.jpg").string()});
  EXPECT_EQ(Tags(cli / "small.jpg")["File:ImageWidth"], 800);
}

TEST_F(WebPictureTest, SettingOffStoresTheBytesAsTheyAre) {
  const fs::path photo = PhonePhoto("photo.jpg");
  CliResult add = cli.Run({"picture", "add", "blog.zdb", photo.string()});
  ASSERT_EQ(add.status, 0) << Describe(add);
  EXPECT_EQ(add.out.find("prepared"), std::string::npos) << Describe(add);
  cli.Ok({"picture", "save", "blog.zdb", "photo.jpg", (cli / "stored.jpg").string()});
  EXPECT_EQ(ReadFile(cli / "stored.jpg"), ReadFile(photo));
}

TEST_F(WebPictureTest, UnreadablePictureIsStoredAsItIsWithABlueLine) {
  cli.Ok({"option", "set", "blog.zdb", "720", "1"});
  const fs::path broken = WriteFile(cli / "broken.jpg", "\xFF\xD8\xFF not really a JPEG");
  CliResult add = cli.Run({"picture", "add", "blog.zdb", broken.string()});
  ASSERT_EQ(add.status, 0) << Describe(add);
  EXPECT_NE(add.out.find("*** broken.jpg was not prepared for the web (libvips cannot read it"),
            std::string::npos)
      << Describe(add);
  EXPECT_NE(add.out.find("it is stored as it is."), std::string::npos) << Describe(add);
  cli.Ok({"picture", "save", "blog.zdb", "broken.jpg", (cli / "stored.jpg").string()});
  EXPECT_EQ(ReadFile(cli / "stored.jpg"), ReadFile(broken));
}

}  // namespace
}  // namespace tessavo::testing
