#include "site_fixture.h"

#include "store/options.h"
#include "templates/package.h"
#include "util/program_folder.h"

namespace tessavo::testing {

std::string Quote(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

std::string TestSlice(int t, int slice) {
  const std::string tag = "T" + std::to_string(t);
  switch (slice) {
    case 1:
      return "<" + tag +
             " title=[%thispage.title%] kind=[%IFNOTBLANK~~[%ISHOMEPAGE%]~~2%]"
             "[%IFNOTBLANK~~[%ISINDEXPAGE%]~~3%][%IFNOTBLANK~~[%ISENTRYPAGE%]~~4%]"
             "[%IFNOTBLANK~~[%ISARTICLEPAGE%]~~5%][%IFNOTBLANK~~[%ISSTATICPAGE%]~~6%]"
             "[%IFNOTBLANK~~[%ISHIDDENPAGE%]~~7%] menu=[%thispage.menutree.css%] "
             "prior=[%linkto.prior.css%]|[%linkto.prior.href%] "
             "next=[%linkto.next.css%]|[%linkto.next.href%] "
             "parent=[%linkto.parent.css%]|[%linkto.parent.href%] "
             "kw=[%thispage.metatag.keywords%] desc=[%thispage.metatag.description%]>\n";
    case 2:
      return "[S2 [%entry.title%]: [%entry.text%]]\n";
    case 3:
      return "[S3]\n";
    case 4:
      return "[S4 [%entry.id%] [%entry.title%]]\n";
    case 5:
      return "[S5]\n";
    case 6:
      return "[S6]\n";
    default:
      return "";
  }
}

SiteTest::SiteTest() {
  SetProgramFolder(dir.path());
  blog = Blog::Create(dir / "myblog.zdb", host);
}

void SiteTest::UseTestTemplates() {
  PackageLines lines = NewPackageLines();
  lines[0] = BuildDescriptionRecord("Test templates");
  for (int t = 1; t <= 6; ++t) {
    TemplateFields f;
    f[0] = std::to_string(t);
    for (int s = 1; s <= 6; ++s) f[static_cast<size_t>(s)] = TestSlice(t, s);
    lines[static_cast<size_t>(t)] = BuildTemplateRecord(f);
  }
  lines.push_back(BuildFileRecord("test.css", "body { color: black; }\n"));
  WriteFile(dir / "test.tem", JoinPackageLines(lines));
  blog->SetOptionText(opt::kTemplateFile, "test.tem");
  blog->SaveOptions();
}

int32_t SiteTest::Add(int32_t type, const std::string& date, const std::string& title,
                      const std::string& text, const std::string& page_name) {
  BlogRec r;
  r.type = type;
  r.date_time = *DateTime::Parse(date);
  r.title = title;
  r.text = text;
  r.page_name = page_name;
  return blog->InsertEntry(r);
}

GenerateResult SiteTest::Generate() {
  host.log.clear();
  GenerateResult r = GeneratePages(*blog, host);
  EXPECT_TRUE(r.ok) << r.error;
  return r;
}

std::string SiteTest::Page(const std::string& name) const {
  if (!Exists(name)) return "<missing " + name + ">";
  return ReadFile(Out() / name);
}

bool SiteTest::Exists(const std::string& name) const {
  return std::filesystem::exists(Out() / name);
}

LogColor SiteTest::ColorOf(const std::string& line) const {
  for (const auto& l : host.log) {
    if (l.text == line) return l.color;
  }
  ADD_FAILURE() << "not logged: " << line;
  return LogColor::kBlack;
}

}  // namespace tessavo::testing
