/* A header for the coverage check's own test: each declaration is one case. */
#ifndef FIXTURE_H
#define FIXTURE_H

#define VTLSAPI
#define WINAPI

/* Ordinal 1. Documented with its ordinal. */
VTLSAPI int WINAPI FxDocumented(void);

/* Ordinals 2, 3. One comment for a run of two declarations. */
VTLSAPI int WINAPI FxRunFirst(int first,
                              int second);
VTLSAPI int WINAPI FxRunSecond(void);

/* Exported as FxExported (ordinal 4), declared by another name. */
VTLSAPI void* WINAPI FxImpl(_In_ unsigned long bytes, _Out_writes_bytes_(bytes) void* out);

/* Shared text of a table whose lines carry their ordinals. */
VTLSAPI int WINAPI FxTableFirst(void);  /* 5 */
VTLSAPI int WINAPI FxTableSecond(void); /* 6 */

VTLSAPI int WINAPI FxUndocumented(void);

/* Ordinal 8. A comment before a blank line documents nothing. */

VTLSAPI int WINAPI FxDetached(void);

/* A comment without the ordinal. */
VTLSAPI int WINAPI FxNoOrdinal(void);

/* Ordinal 10. The export's number differs. */
VTLSAPI int WINAPI FxWrongOrdinal(void);

/* A record whose fields are documented above and after them. */
typedef struct FxRecord {
    /* The first field. */
    int first;
    int second; /* The second field. */
} FxRecord;

/* Ordinal 42. An export without a name, documented. */
VTLSAPI int WINAPI FxNameless(void);

#endif /* FIXTURE_H */
