/* The login engine as a C interface, in libvoka-client.so.1: <voka/voka_client.h>.
 *
 * One voka_client handle is one engine: the same requests, answers and result
 * codes as the COM object and CClientAuthen (docs/com-api.md). Texts go in and
 * come out as UTF-8; the engine's code page (936 unless VOKA_CODEPAGE says
 * otherwise) is converted to inside.
 *
 * Threads: a handle is used by one thread at a time, one call at a time, as
 * the engine is. Separate handles share nothing and may run their calls at
 * the same time on separate threads.
 *
 * Blocking: every request call waits for its answer on the calling thread.
 * One UDP exchange waits at most the UDP time-out (the "limit" term
 * UDP_TIMEOUT of voka_client_term unless voka_client_set_udp_timeout says
 * otherwise); one HTTP request, redirects
 * included, at most 30 seconds, giving up after 5 seconds without a byte from
 * the server. voka_client_get_dynamic_key over UDP that fails falls back to
 * HTTP in the same call, so it may wait the UDP time-out and then the HTTP
 * limit. Resolving a server's host name adds what the system's resolver
 * takes. The other functions do not block.
 *
 * Every function returns an int result code and never throws:
 *  - 0: done (for a request, the server's RETVALUE 0);
 *  - VOKA_E_FAIL: the request failed, with the reason under DESCMSG; or the
 *    call was refused before anything was sent: a null handle (nothing
 *    changes), out of memory, or a null text, a text that is not UTF-8 or one
 *    that the code page cannot hold exactly (a request puts the engine's
 *    refusal under DESCMSG);
 *  - VOKA_E_EKEYPWD: the USB token gave no password;
 *  - any other value: the server's RETVALUE, passed through. */
#ifndef VOKA_VOKA_CLIENT_H
#define VOKA_VOKA_CLIENT_H

#include <stddef.h>

/* The release of this header, to test at compile time:
 * #if VOKA_CLIENT_VERSION_NUM >= VOKA_CLIENT_VERSION_AT(1, 1, 0). The library
 * that a program runs with tells its own through voka_client_version(). */
#define VOKA_CLIENT_VERSION_MAJOR 1
#define VOKA_CLIENT_VERSION_MINOR 0
#define VOKA_CLIENT_VERSION_PATCH 0
#define VOKA_CLIENT_VERSION_AT(major, minor, patch) (((major) << 16) | ((minor) << 8) | (patch))
#define VOKA_CLIENT_VERSION_NUM \
  VOKA_CLIENT_VERSION_AT(VOKA_CLIENT_VERSION_MAJOR, VOKA_CLIENT_VERSION_MINOR, VOKA_CLIENT_VERSION_PATCH)

/* VOKA_CAUSE_NONE, VOKA_CAUSE_NO_ANSWER, ...: why a request failed. */
#include "voka/failure_cause.h"

#ifdef __cplusplus
extern "C" {
#endif

#define VOKA_CLIENT_API __attribute__((visibility("default")))

/* VOKA_OK, VOKA_E_FAIL, VOKA_E_EKEYPWD; and for voka_client_get_value and
 * voka_client_field_name only, VOKA_VALUE_ABSENT and VOKA_VALUE_TOO_LONG
 * (*length then tells the bytes needed, NUL excluded). */
#include "voka/result_code_numbers.h"

typedef struct voka_client voka_client;

/* A new engine in *client (null when out of memory); free it with voka_client_free. */
VOKA_CLIENT_API int voka_client_create(voka_client** client);
/* Frees client; a null client is ignored. */
VOKA_CLIENT_API void voka_client_free(voka_client* client);

/* udp_server is "host[:port]", http_server the base URL of every HTTP request.
 * Empties the answer's fields. */
VOKA_CLIENT_API int voka_client_initialize(voka_client* client, const char* udp_server, const char* http_server);
/* Seconds one UDP exchange waits for its answer (UDP_TIMEOUT unless changed;
 * 1 to UDP_TIMEOUT_MAX, INT_MAX / 1000, since the wait is counted in
 * milliseconds in an int). */
VOKA_CLIENT_API int voka_client_set_udp_timeout(voka_client* client, int seconds);
/* Sets *uses_udp to 1 while the requests go over UDP, 0 once a dynamic key's
 * UDP stage failed and moved the engine to HTTP for good. */
VOKA_CLIENT_API int voka_client_uses_udp(voka_client* client, int* uses_udp);

/* The four requests; empty texts where a front end has nothing to send. */
VOKA_CLIENT_API int voka_client_get_dynamic_key(voka_client* client, const char* indication);
VOKA_CLIENT_API int voka_client_static_authen(voka_client* client, const char* user_id, const char* password,
                                              const char* app_id, const char* area_id, const char* check_code,
                                              const char* indication);
VOKA_CLIENT_API int voka_client_ekey_authen(voka_client* client, const char* user_id, const char* ekey_password,
                                            const char* ekey_type, const char* indication);
VOKA_CLIENT_API int voka_client_ecard_authen(voka_client* client, const char* user_id, const char* ecard_answer,
                                             const char* indication);

/* Any request, by its kind (the number of a "request" term of
 * voka_client_term), with the fields the host gives: count names (such as
 * "USERID") and their values. GUID, and APPID and AREAID when not given, come
 * from the login so far (a request that gives APPID or AREAID keeps them);
 * CLIENTIP and MAC from the machine. An optional field not given is left out,
 * any other is sent empty. The four requests above are this with their own
 * fields. A number that is no kind, or a null name, is VOKA_E_FAIL with
 * nothing sent. */
VOKA_CLIENT_API int voka_client_request(voka_client* client, int kind, const char* const* names,
                                        const char* const* values, size_t count);

/* A whole login: the dynamic key, the account login and, when its answer
 * asks for the USB token (AUTHENSTATE 4), the e-key login with the password
 * the engine computed. The last request's result; AUTHENSTATE then tells
 * whether the user is logged in (1) or must still answer the matrix card (2,
 * with voka_client_ecard_authen). */
VOKA_CLIENT_API int voka_client_login(voka_client* client, const char* user_id, const char* password,
                                      const char* app_id, const char* area_id, const char* ekey_type,
                                      const char* indication);

/* Ends the request or login under way on client within 100 ms: its UDP wait
 * or HTTP fetch stops, it returns VOKA_E_FAIL and voka_client_last_cause
 * gives VOKA_CAUSE_CANCELLED; a login sends nothing more. The one call that
 * another thread may make while a call on client runs; it does nothing when
 * none runs, and the next request starts afresh. VOKA_E_FAIL for a null handle. */
VOKA_CLIENT_API int voka_client_cancel(voka_client* client);

/* Why the last request failed (VOKA_CAUSE_...; docs/behaviour.md): the
 * cause of the last stage it tried, HTTP after a fallback; VOKA_CAUSE_NONE
 * when its answer was read, whatever the server's verdict. A null handle
 * gives VOKA_CAUSE_NOT_TRIED. */
VOKA_CLIENT_API int voka_client_last_cause(voka_client* client);
/* The stable name of a cause ("none", "no-answer", ...); "" for a number that
 * is none. The text is static: never free it. */
VOKA_CLIENT_API const char* voka_client_cause_name(int cause);

/* The field name (a-z matched in either case) of the answers so far, as UTF-8
 * with its NUL in value: 0, VOKA_VALUE_ABSENT (also for a name that is not
 * UTF-8 or that the code page lacks), or VOKA_VALUE_TOO_LONG when it does not
 * fit capacity bytes (value may then be null). length, when not null,
 * receives the value's length in bytes, NUL excluded. With a handle and a
 * name, VOKA_E_FAIL means out of memory. */
VOKA_CLIENT_API int voka_client_get_value(voka_client* client, const char* name, char* value, size_t capacity,
                                          size_t* length);
/* The latest DESCMSG, as voka_client_get_value(client, "DESCMSG", ...). */
VOKA_CLIENT_API int voka_client_last_message(voka_client* client, char* message, size_t capacity, size_t* length);
/* The name of the index-th field, in the order of names, as voka_client_get_value
 * hands values out; VOKA_VALUE_ABSENT past the last field. */
VOKA_CLIENT_API int voka_client_field_name(voka_client* client, size_t index, char* name, size_t capacity,
                                           size_t* length);
/* Every field of the answers so far in one call, in the order of names: each
 * name and then its value, each followed by a NUL, as voka_client_get_value
 * hands them out (one more NUL ends the block). Fetching the fields one by
 * one with voka_client_field_name costs time quadratic in their number. */
VOKA_CLIENT_API int voka_client_fields(voka_client* client, char* fields, size_t capacity, size_t* length);

/* The steps of a whole login, as voka_client_login takes them: after the
 * answer to a request of kind answered, with its result and AUTHENSTATE as
 * the answers so far left it (null when none held it), either
 * VOKA_STEP_SEND with the kind to send next in *next, or how the login
 * ended. Only the account login's answer asks for a second factor (4: the
 * e-key login, 2: the e-card login); only AUTHENSTATE "1" is logged in. */
enum voka_login_step {
  VOKA_STEP_SEND = 0,
  VOKA_STEP_LOGGED_IN = 1,      /* AUTHENSTATE 1 after the last request */
  VOKA_STEP_REQUEST_FAILED = 2, /* the request's result was not 0 */
  VOKA_STEP_NO_STATE = 3,       /* the answers hold no AUTHENSTATE */
  VOKA_STEP_OTHER_STATE = 4     /* an AUTHENSTATE the login cannot follow */
};
/* The kind a login starts with. */
VOKA_CLIENT_API int voka_client_first_step(void);
/* VOKA_E_FAIL (and *next untouched) for a number that is no kind or a null next. */
VOKA_CLIENT_API int voka_client_next_step(int answered, int result, const char* authen_state, int* next);

/* The protocol's vocabulary, one term at a time, for bindings that would
 * otherwise copy it: terms 0, 1, ... until null. Terms are static: never
 * free them. By group:
 *  "result"  the engine's result codes: "VOKA_E_FAIL", its number, its meaning;
 *  "answer"  voka-server's RETVALUEs: "WRONG_PASSWORD", 1004, its DESCMSG;
 *  "cause"   the failure causes: "no-answer", 10, its meaning;
 *  "state"   the AUTHENSTATE values: "LOGGED_IN", 1, "1";
 *  "request" the request kinds: "dynamic-key", the kind's number, its summary;
 *  "limit"   defaults and limits: "UDP_PORT" 8025 (the UDP port when the
 *            endpoint names none), "HTTP_PORT" 8080 (voka-server's HTTP
 *            port), "UDP_TIMEOUT" 10 and "UDP_TIMEOUT_MAX" (seconds, as
 *            voka_client_set_udp_timeout takes them), "HTTP_TIMEOUT" 30
 *            (seconds one HTTP request lasts at most). */
typedef struct voka_term {
  const char* group;
  const char* name;
  long number;
  const char* text; /* UTF-8 */
} voka_term;
VOKA_CLIENT_API const voka_term* voka_client_term(size_t index);

/* The library's version, such as "1.0.0": static text, never null. */
VOKA_CLIENT_API const char* voka_client_version(void);
/* The name of one of this header's result codes ("VOKA_E_FAIL"), static
 * text; null for any other number, such as a server's RETVALUE. -1 and -2
 * name the getters' VOKA_VALUE_ABSENT and VOKA_VALUE_TOO_LONG. */
VOKA_CLIENT_API const char* voka_client_result_name(int code);

#ifdef __cplusplus
}
#endif

#endif /* VOKA_VOKA_CLIENT_H */
