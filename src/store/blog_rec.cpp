#include "store/blog_rec.h"

#include "store/schema.h"
#include "util/text.h"

namespace tessavo {

namespace {

DateTime NextSecond(DateTime t) {
  if (++t.second < 60) return t;
  t.second = 0;
  if (++t.minute < 60) return t;
  t.minute = 0;
  if (++t.hour < 24) return t;
  t.hour = 0;
  const DateTime next_day = DateTime::FromDaySerial(t.DaySerial() + 1);
  t.year = next_day.year;
  t.month = next_day.month;
  t.day = next_day.day;
  return t;
}

}  // namespace

bool HasOwnPageName(int32_t type) {
  return type == kArticle || type == kStaticPage || type == kHiddenPage || type == kRedirectPage ||
         type == kFreeFormatPage;
}

std::string EntryTypeCaption(int32_t type) {
  switch (type) {
    case kBlogEntry:
      return "Blog Entry";
    case kArticle:
      return "Article Page";
    case kStaticPage:
      return "Static Page";
    case kHiddenPage:
      return "Hidden Page";
    case kHomePage:
      return "Home Page";
    case kRecentEntriesPage:
      return "Recent Entries Page";
    case kRedirectPage:
      return "Redirect page";
    case kFreeFormatPage:
      return "Free Format Page";
    default:
      return {};
  }
}

std::string EntryTypeListName(int32_t type) {
  switch (type) {
    case kArticle:
      return "Article";
    case kStaticPage:
      return "Static";
    case kHiddenPage:
      return "Hidden";
    case kHomePage:
      return "Home Page";
    case kRecentEntriesPage:
      return "Recent Entries";
    case kRedirectPage:
      return "Redirect";
    case kFreeFormatPage:
      return "Free Format";
    default:
      return {};  // an ordinary entry and any unknown type show blank
  }
}

void ApplyPageNameRule(BlogRec& rec, const DateTime& now,
                       const std::function<bool(const std::string&)>& taken) {
  if (!HasOwnPageName(rec.type)) {
    rec.page_name.clear();
    return;
  }
  if (store::CharacterCount(rec.page_name) >= 2) return;
  DateTime moment = now;
  std::string name = moment.Stamp();
  // Every name tried is a second later than the one before, and only finitely many are
  // taken, so this ends.
  while (taken && taken(name)) {
    moment = NextSecond(moment);
    name = moment.Stamp();
  }
  rec.page_name = std::move(name);
}

std::string NameProblem(std::string_view caption, std::string_view field, std::string_view name) {
  if (!HasControlCharacter(name)) return {};
  return std::string(caption) + " (" + std::string(field) +
         ") may not hold control characters such as line breaks or tabs: \"" +
         ShowControlCharacters(name) + "\".";
}

}  // namespace tessavo
