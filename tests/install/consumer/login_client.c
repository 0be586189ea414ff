/* login_client_c UDP HTTP USER PASSWORD: a whole login through the installed
 * C interface (dynamic key, account login, e-key login when the account asks
 * for the token). Prints the result and AUTHENSTATE, then the library's
 * version and the result's name; exit status 0 once AUTHENSTATE is 1, and 3
 * when the header's version macros name another release than the library. */
#include <stdio.h>
#include <string.h>
#include <voka/voka_client.h>

#if !defined(VOKA_CLIENT_VERSION_NUM) || VOKA_CLIENT_VERSION_NUM < VOKA_CLIENT_VERSION_AT(1, 0, 0)
#error "voka_client.h names no release from 1.0.0 on"
#endif

int main(int argc, char** argv) {
  if (argc != 5) {
    fprintf(stderr, "usage: login_client_c UDP HTTP USER PASSWORD\n");
    return 2;
  }
  char compiled[32];
  snprintf(compiled, sizeof compiled, "%d.%d.%d", VOKA_CLIENT_VERSION_MAJOR, VOKA_CLIENT_VERSION_MINOR,
           VOKA_CLIENT_VERSION_PATCH);
  if (strcmp(compiled, voka_client_version()) != 0 || VOKA_CLIENT_VERSION_NUM != VOKA_CLIENT_VERSION_MAJOR * 65536 +
                                                                                     VOKA_CLIENT_VERSION_MINOR * 256 +
                                                                                     VOKA_CLIENT_VERSION_PATCH) {
    fprintf(stderr, "login_client_c: header %s (%#x), library %s\n", compiled, VOKA_CLIENT_VERSION_NUM,
            voka_client_version());
    return 3;
  }
  voka_client* client = NULL;
  int result = voka_client_create(&client);
  if (result == VOKA_OK) result = voka_client_initialize(client, argv[1], argv[2]);
  if (result == VOKA_OK) result = voka_client_get_dynamic_key(client, "");
  if (result == VOKA_OK) result = voka_client_static_authen(client, argv[3], argv[4], "1", "1", "", "");
  char state[16] = "", password[64] = "";
  voka_client_get_value(client, "AUTHENSTATE", state, sizeof state, NULL);
  if (result == VOKA_OK && strcmp(state, "4") == 0 &&
      voka_client_get_value(client, "EKEYPWD", password, sizeof password, NULL) == VOKA_OK) {
    result = voka_client_ekey_authen(client, argv[3], password, "1", "");
    voka_client_get_value(client, "AUTHENSTATE", state, sizeof state, NULL);
  }
  char message[256] = "";
  voka_client_last_message(client, message, sizeof message, NULL);
  const char* name = voka_client_result_name(result);
  printf("result=%d AUTHENSTATE=%s DESCMSG=%s\n", result, state, message);
  printf("libvoka-client %s, result %s\n", voka_client_version(), name ? name : "RETVALUE");
  voka_client_free(client);
  return result == VOKA_OK && strcmp(state, "1") == 0 ? 0 : 1;
}
