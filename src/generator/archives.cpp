// Archive pages by month, week and day: opened when the second pass meets the first row
// of their period, filled with the rows that follow, and closed with links to their
// older and newer neighbours when a row of the next period arrives.
#include <cstdio>

#include "generator/dates.h"
#include "generator/site_run.h"

namespace tessavo {

namespace {

std::string IsoDate(const DateTime& d) { return IsoDateText(d); }

}  // namespace

EntryPeriods PeriodsOf(const DateTime& date) {
  EntryPeriods p;
  p.month_key = date.year * 100 + date.month;
  p.week_key = WeekKey(date);
  p.day_key = date.year * 10000 + date.month * 100 + date.day;
  p.month_title = LongMonthName(date.month) + " " + YearText(date.year);
  const int64_t serial = date.DaySerial();
  const int iso = IsoWeekday(date);
  p.week_title = IsoDate(DateTime::FromDaySerial(serial + 1 - iso)) + " to " +
                 IsoDate(DateTime::FromDaySerial(serial + 7 - iso));
  p.day_title = IsoDate(date);
  return p;
}

ArchiveChain& SiteRun::Chain(ArchiveKind kind) {
  if (kind == ArchiveKind::kWeek) return week_;
  if (kind == ArchiveKind::kDay) return day_;
  return month_;
}

std::string SiteRun::ArchivePeriodFile(ArchiveKind kind, int key) const {
  if (kind == ArchiveKind::kWeek) return naming_.WeekFile(key);
  if (kind == ArchiveKind::kDay) return naming_.DayFile(key);
  return naming_.MonthFile(key);
}

std::string SiteRun::ArchivePeriodLink(ArchiveKind kind, int key, const std::string& title) const {
  return PeriodLink(ArchivePeriodFile(kind, key), title);
}

void SiteRun::OpenArchive(ArchiveKind kind, const EntryPeriods& p, size_t opener) {
  ArchivePage& a = Chain(kind).page;
  a = ArchivePage{};
  a.open = true;
  a.opener = opener;
  if (kind == ArchiveKind::kMonth) {
    a.key = p.month_key;
    a.title = p.month_title;
    a.page.menu_tree = links_.BaseMenuTree();
  } else {
    a.key = kind == ArchiveKind::kWeek ? p.week_key : p.day_key;
    a.title = kind == ArchiveKind::kWeek ? p.week_title : p.day_title;
    const ArchivePage& month = month_.page;
    a.page.menu_tree = links_.BaseMenuTree() + " : " +
                       ArchivePeriodLink(ArchiveKind::kMonth, month.key, month.title);
  }
  a.page.page_title = a.title;
  a.page.page_kind = kPageKindArchive;
  a.page.parent_link = ArchivePeriodLink(kind, a.key, a.title) + " ";
  a.page.parent_href = ArchivePeriodFile(kind, a.key);
  DefaultMeta(a.page);
}

void SiteRun::AddToArchive(ArchiveKind kind, const BlogRec& e, const EntryPeriods& p, size_t row) {
  ArchivePage& a = Chain(kind).page;
  if (!a.newest || e.date_time > *a.newest) a.newest = e.date_time;
  const int mode = naming_.archive_mode;
  if (kind != ArchiveKind::kMonth || mode == 0) {
    a.rows.push_back(row);
  } else if (mode == 2) {
    if (p.day_key != a.last_period_key) {
      a.period_list += "<A HREF=\"" + naming_.DayFile(p.day_key) + "\" class=\"entrylink\">" +
                       p.day_title + "</A><BR>";
      a.last_period_key = p.day_key;
    }
  } else if (mode == 1) {
    if (p.week_key != a.last_period_key) {
      a.period_list += "<A HREF=\"" + naming_.WeekFile(p.week_key) + "\" class=\"entrylink\">" +
                       p.week_title + "</A><BR>";
      a.last_period_key = p.week_key;
    }
  }
}

void SiteRun::CloseArchive(ArchiveKind kind, int next_key, const std::string& next_title,
                           size_t closer) {
  ArchiveChain& chain = Chain(kind);
  ArchivePage& a = chain.page;
  if (!a.open) return;
  if (chain.prior_key != 0) {
    a.page.prior_link = ArchivePeriodLink(kind, chain.prior_key, chain.prior_title) + " ";
    a.page.prior_href = ArchivePeriodFile(kind, chain.prior_key);
  }
  if (next_key != 0) {
    a.page.next_link = ArchivePeriodLink(kind, next_key, next_title) + " ";
    a.page.next_href = ArchivePeriodFile(kind, next_key);
  }
  const int mode = naming_.archive_mode;
  const std::string name = ArchivePeriodFile(kind, a.key);
  a.page.page_file = name;

  std::vector<size_t> inputs{a.opener, closer};
  inputs.insert(inputs.end(), a.rows.begin(), a.rows.end());
  const Digest digest =
      PageDigest(100 + static_cast<int>(kind), name, a.page, inputs, a.period_list);
  // The page's own values move into its render: the chain opens a fresh page next.
  auto render = [this, kind, mode, closer, opener = a.opener, rows = std::move(a.rows),
                 archive_page = std::move(a.page),
                 period_list = std::move(a.period_list)](RowSource& source) {
    std::string text;
    const TemplateEntryVars& opening = source.Vars(opener);
    AppendSlice(text, kTemplateArchiveEntries, kSliceStartOfPage, opening);
    if (kind != ArchiveKind::kMonth || mode == 0) {
      AppendSlice(text, kTemplateArchiveEntries, kSliceBeforeEntries, opening);
    }
    TemplatePageVars page = archive_page;
    for (size_t row : rows) {
      const TemplateEntryVars& vars = source.Vars(row);
      text += "<A name=\"e" + std::to_string(entries_[row].key) + "\"></A>";
      NotePicture(page, vars.entry_text);
      AppendSlice(text, kTemplateArchiveEntries, kSliceEachEntry, vars);
    }
    const TemplateEntryVars& vars = source.Vars(closer);
    if (kind == ArchiveKind::kMonth && mode == 2) {
      TemplateEntryVars list;
      list.entry_title = options_.Text(opt::kTitleDailyEntries);
      list.entry_text = period_list;
      AppendSlice(text, kTemplateArchiveEntries, kSliceArticle, list);
    } else if (kind == ArchiveKind::kMonth && mode == 1) {
      TemplateEntryVars list;
      list.entry_title = options_.Text(opt::kTitleWeeklyEntries);
      list.entry_text = period_list;
      AppendSlice(text, kTemplateArchiveEntries, kSliceArticle, list);
    } else {
      AppendSlice(text, kTemplateArchiveEntries, kSliceAfterEntries, vars);
    }
    AppendSlice(text, kTemplateArchiveEntries, kSliceEndOfPage, vars);
    return FinishPage(text, globals_, vars, page, &source.draws_random);
  };
  WriteMadePage(name, digest, true, a.newest, std::move(render));
  chain.prior_key = a.key;
  chain.prior_title = a.title;
  a = ArchivePage{};
}

}  // namespace tessavo
