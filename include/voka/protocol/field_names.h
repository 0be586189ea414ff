// The names of the fields that requests and answers carry, and the values of
// AUTHENSTATE. Code names a field through these constants, so a misspelt name
// fails the build instead of sending an empty field.
#pragma once

// Request fields.
constexpr char kFieldUserId[] = "USERID";
constexpr char kFieldPassword[] = "PWD";
constexpr char kFieldAppId[] = "APPID";
constexpr char kFieldAreaId[] = "AREAID";
constexpr char kFieldGuid[] = "GUID";  // also the dynamic key's answer
constexpr char kFieldClientIp[] = "CLIENTIP";
constexpr char kFieldMac[] = "MAC";
constexpr char kFieldCheckCode[] = "CHECKCODE";
constexpr char kFieldIndication[] = "INDICATION";
constexpr char kFieldEKeyPassword[] = "EKEYPWD";  // also where the engine leaves the token's password
constexpr char kFieldEKeyType[] = "EKEYTYPE";
constexpr char kFieldECardAnswer[] = "ECARDPWD";

// Answer fields.
constexpr char kFieldRetValue[] = "RETVALUE";
constexpr char kFieldDescMsg[] = "DESCMSG";
constexpr char kFieldAuthenState[] = "AUTHENSTATE";
constexpr char kFieldChallenge[] = "CHALLENGE";  // the USB token's challenge
constexpr char kFieldPosition[] = "POSITION";    // the matrix card's cells asked for

// AUTHENSTATE of an account login's successful answer: logged in, or the
// second factor it asks for next.
constexpr char kStateLoggedIn[] = "1";
constexpr char kStateNeedsECard[] = "2";
constexpr char kStateNeedsEKey[] = "4";
