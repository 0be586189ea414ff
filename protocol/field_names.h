// The names of the fields that requests and answers carry, and the values of
// AUTHENSTATE. Code names a field through these constants, so a misspelt name
// fails the build instead of sending an empty field.
#pragma once

// Request fields.
inline constexpr char kFieldUserId[] = "USERID";
inline constexpr char kFieldPassword[] = "PWD";
inline constexpr char kFieldAppId[] = "APPID";
inline constexpr char kFieldAreaId[] = "AREAID";
inline constexpr char kFieldGuid[] = "GUID";  // also the dynamic key's answer
inline constexpr char kFieldClientIp[] = "CLIENTIP";
inline constexpr char kFieldMac[] = "MAC";
inline constexpr char kFieldCheckCode[] = "CHECKCODE";
inline constexpr char kFieldIndication[] = "INDICATION";
inline constexpr char kFieldEKeyPassword[] = "EKEYPWD";  // also where the engine leaves the token's password
inline constexpr char kFieldEKeyType[] = "EKEYTYPE";
inline constexpr char kFieldECardAnswer[] = "ECARDPWD";

// Answer fields.
inline constexpr char kFieldRetValue[] = "RETVALUE";
inline constexpr char kFieldDescMsg[] = "DESCMSG";
inline constexpr char kFieldAuthenState[] = "AUTHENSTATE";
inline constexpr char kFieldChallenge[] = "CHALLENGE";  // the USB token's challenge
inline constexpr char kFieldPosition[] = "POSITION";    // the matrix card's cells asked for

// AUTHENSTATE of an account login's successful answer: logged in, or the
// second factor it asks for next.
inline constexpr char kStateLoggedIn[] = "1";
inline constexpr char kStateNeedsECard[] = "2";
inline constexpr char kStateNeedsEKey[] = "4";
