// The walks of a singly linked list of records that link themselves through their
// own `next` field (the port entries, the open transceive handles). A list is a
// view of the head pointer it is made with: it owns nothing and never allocates.
#pragma once

namespace vela {

template <typename T> class IntrusiveList {
  public:
    explicit IntrusiveList(T*& head) noexcept : head_(head) {}

    // Links the record at the tail, after every record already there.
    void Append(T* record) noexcept {
        record->next = nullptr;
        *TailLink() = record;
    }

    // The first record for which matches(record) is true; null when none is.
    template <typename Predicate> T* Find(Predicate matches) const {
        for (T* record = head_; record != nullptr; record = record->next) {
            if (matches(record)) {
                return record;
            }
        }
        return nullptr;
    }

    // Takes the first matching record out of the list and returns it, its `next`
    // cleared; null when none matches.
    template <typename Predicate> T* Unlink(Predicate matches) {
        for (T** link = &head_; *link != nullptr; link = &(*link)->next) {
            T* record = *link;
            if (matches(record)) {
                *link = record->next;
                record->next = nullptr;
                return record;
            }
        }
        return nullptr;
    }

    template <typename Visit> void ForEach(Visit visit) const {
        for (T* record = head_; record != nullptr; record = record->next) {
            visit(record);
        }
    }

    // Empties the list, then hands every record to release in list order; each
    // record's `next` is read before release sees it.
    template <typename Release> void ReleaseAll(Release release) {
        T* record = head_;
        head_ = nullptr;
        while (record != nullptr) {
            T* next = record->next;
            release(record);
            record = next;
        }
    }

  private:
    T** TailLink() noexcept {
        T** link = &head_;
        while (*link != nullptr) {
            link = &(*link)->next;
        }
        return link;
    }

    T*& head_;
};

} // namespace vela
