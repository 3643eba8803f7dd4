// The macro argument store. A freed slot keeps its bytes for a later text that fits, so reassigning
// longer texts uses the area up until everything is cleared; that keeps the store free of
// compaction and its texts in place.
#include "macro/args.h"

#include <string.h>

#include "base/console.h"

namespace {
enum : uint16_t { FREE_ID = 0xFFFF };
enum : uint8_t { KIND_MASK = 3, IN_USE = 4 };

struct ArgSlot {
    uint16_t id;
    uint8_t kindUse;
    uint8_t capacity;
    char *text;
};

ArgSlot argStore[ARG_SLOTS];
char argStoreData[ARG_STORE_BYTES];
int argStoreLast; // next free byte

int kindOf(int kind) {
    return kind ? 1 : 0;
}

ArgSlot *find(int id, int kind) {
    for (ArgSlot &s : argStore)
        if ((s.kindUse & IN_USE) && s.id == id && (s.kindUse & KIND_MASK) == kindOf(kind)) return &s;
    return nullptr;
}

void take(ArgSlot &s, int id, int kind, const char *text, size_t need) {
    s.id = (uint16_t)id;
    s.kindUse = (uint8_t)(IN_USE | kindOf(kind));
    memcpy(s.text, text, need);
}

void freeSlot(ArgSlot &s) {
    s.id = FREE_ID;
    s.kindUse = KIND_MASK;
}
} // namespace

int assignMacroArgs(int id, int kind, const char *text) {
    if (!text) return 0;
    size_t need = strlen(text) + 1;
    if (need > 255) need = 255; // a slot's capacity is one byte; longer texts cannot come off a line
    ArgSlot *own = find(id, kind);
    if (own) {
        if (need <= own->capacity) {
            take(*own, id, kind, text, need);
            own->text[need - 1] = 0;
            return 1;
        }
        freeSlot(*own);
    }
    ArgSlot *best = nullptr, *firstFree = nullptr;
    for (ArgSlot &s : argStore) {
        if (s.kindUse & IN_USE) continue;
        if (!firstFree) firstFree = &s;
        if (s.text && s.capacity >= need && (!best || s.capacity < best->capacity)) best = &s;
    }
    if (best) {
        take(*best, id, kind, text, need);
        best->text[need - 1] = 0;
        return 1;
    }
    if (!firstFree) {
        pout(":out of macro arg storage slots; all %d in use\r", ARG_SLOTS);
        return 0;
    }
    int left = ARG_STORE_BYTES - argStoreLast;
    if ((int)need > left) {
        pout(":out of macro arg storage space; need %d bytes, %d left\r", (int)need, left);
        return 0;
    }
    firstFree->text = argStoreData + argStoreLast;
    firstFree->capacity = (uint8_t)need;
    argStoreLast += (int)need;
    take(*firstFree, id, kind, text, need);
    firstFree->text[need - 1] = 0;
    return 1;
}

const char *getMacroArgs(int id, int kind) {
    ArgSlot *s = find(id, kind);
    return s ? s->text : nullptr;
}

void releaseMacroArgs(int id, int kind) {
    ArgSlot *s = find(id, kind);
    if (s) freeSlot(*s);
}

void clearMacroArgStore(void) {
    for (ArgSlot &s : argStore) {
        freeSlot(s);
        s.capacity = 0;
        s.text = nullptr;
    }
    memset(argStoreData, 0, sizeof argStoreData);
    argStoreLast = 0;
}

int getMacroArgBytesAvailable(void) {
    return ARG_STORE_BYTES - argStoreLast;
}
