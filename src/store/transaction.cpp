#include "store/transaction.h"

#include <optional>

#include "store/blog_connection.h"
#include "store/schema.h"

namespace tessavo {

void InOneTransaction(Blog& blog, const std::function<void()>& work) {
  // The operations that `work` calls open savepoints inside this transaction.
  std::optional<store::WriteTransaction> tx;
  store::Guarded(blog.file(), [&] { tx.emplace(store::BlogConnection::Of(blog)); });
  work();
  store::Guarded(blog.file(), [&] { tx->Commit(); });
}

}  // namespace tessavo
