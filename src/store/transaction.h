// All-or-nothing changes to a blog that take more than one of its operations.
#pragma once

#include <functional>

namespace tessavo {

class Blog;

// Runs `work`, which may call any of `blog`'s operations that change it, inside one write
// transaction. When `work` throws, every change it made is undone and the exception passes
// on; otherwise everything is committed at once (an import).
void InOneTransaction(Blog& blog, const std::function<void()>& work);

}  // namespace tessavo
