#include "store/blog_rec.h"

namespace tessavo {

std::string EntryTypeCaption(int32_t type) {
  switch (type) {
    case kBlogEntry: return "Blog Entry";
    case kArticle: return "Article Page";
    case kStaticPage: return "Static Page";
    case kHiddenPage: return "Hidden Page";
    case kHomePage: return "Home Page";
    case kRecentEntriesPage: return "Recent Entries Page";
    case kRedirectPage: return "Redirect page";
    case kFreeFormatPage: return "Free Format Page";
    default: return {};
  }
}

std::string EntryTypeListName(int32_t type) {
  switch (type) {
    case kArticle: return "Article";
    case kStaticPage: return "Static";
    case kHiddenPage: return "Hidden";
    case kHomePage: return "Home Page";
    case kRecentEntriesPage: return "Recent Entries";
    case kRedirectPage: return "Redirect";
    case kFreeFormatPage: return "Free Format";
    default: return {};  // an ordinary entry and any unknown type show blank
  }
}

}  // namespace tessavo
