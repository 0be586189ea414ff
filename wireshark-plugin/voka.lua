-- Wireshark dissector for the VOKA4ClientCom UDP login protocol.
--
-- Shows the 20-byte header, the command by name, the sealed request opened
-- into its NAME=value fields as voka-server reads them, and the fields of
-- answers as the client reads them. Load it with
-- `wireshark -X lua_script:voka.lua` (or copy it into the personal Lua plugins
-- folder). It decodes the challenge server's default UDP port (kDefaultPort);
-- the port is a preference ("voka.port"), and "Decode As... VOKA" works on any
-- other port.
--
-- The command names and codes, the sizes, the default port, the start key and
-- the pass phrase restate the C++ code's; the native build checks them
-- (tests/vocabulary).
--
-- The seal is the project's 24-byte-block Triple DES under a key derived from
-- a pass phrase that every client carries; DES is written out here because
-- Wireshark's Lua has no cipher bindings.

local voka = Proto("voka", "VOKA4ClientCom login protocol")

local kHeaderSize = 20
local kDefaultPort = 8025
-- voka-server drops a longer request; it is not unsealed, which costs time.
local kLargestRequest = 2047
-- The seal's key is public, so anyone can craft requests that open, and
-- opening costs time: no more than the first kLargestOpened bytes of a
-- request's text are opened (16 blocks; a login sends about 200).
local kLargestOpened = 384
-- The client takes an answer only when it is shorter than this, and reads no
-- header whose dwLength is this or more.
local kAnswerLimit = 1024
local kLengthLimit = 2044
local kPassPhrase = "qpqp"
local kStartKey = "1F2E3D4C5B6A798897A6B5C4D3E2F1000F1E2D3C4B5A6978"

-- As voka-auth's commands and voka-server's log name them.
local command_names = {
  [0x5300] = "dynamic-key",
  [0xC500] = "static",
  [0xC600] = "ekey",
  [0xAD00] = "ecard",
}

local fields = {
  kind = ProtoField.string("voka.kind", "Kind"),
  length = ProtoField.uint32("voka.length", "dwLength", base.DEC),
  command = ProtoField.uint16("voka.command", "wCommand", base.HEX, command_names),
  sequence = ProtoField.uint32("voka.sequence", "dwSequence", base.DEC),
  param1 = ProtoField.uint16("voka.param1", "wParam1", base.DEC),
  fixed1 = ProtoField.uint16("voka.fixed1", "wFixed1", base.DEC),
  fixed2 = ProtoField.uint16("voka.fixed2", "wFixed2", base.DEC),
  param2 = ProtoField.uint16("voka.param2", "wParam2", base.DEC),
  fixed3 = ProtoField.uint16("voka.fixed3", "wFixed3", base.DEC),
  sealed = ProtoField.string("voka.sealed", "Sealed parameters"),
  text = ProtoField.string("voka.text", "Parameter text"),
  field = ProtoField.string("voka.field", "Field"),
  name = ProtoField.string("voka.field.name", "Name"),
  value = ProtoField.string("voka.field.value", "Value"),
}
voka.fields = fields

local experts = {
  short = ProtoExpert.new("voka.short", "Datagram shorter than the " .. kHeaderSize .. "-byte header",
                          expert.group.MALFORMED, expert.severity.ERROR),
  bad_length = ProtoExpert.new("voka.bad_length", "dwLength is not the datagram size less 4",
                               expert.group.MALFORMED, expert.severity.ERROR),
  bad_fixed = ProtoExpert.new("voka.bad_fixed", "Fixed word has the wrong value",
                              expert.group.MALFORMED, expert.severity.ERROR),
  not_sealed = ProtoExpert.new("voka.not_sealed", "Payload does not unseal",
                               expert.group.MALFORMED, expert.severity.ERROR),
  unterminated = ProtoExpert.new("voka.unterminated", "Answer does not end in NUL: the client drops its last byte",
                                 expert.group.PROTOCOL, expert.severity.WARN),
  cut = ProtoExpert.new("voka.cut", "Only the first " .. kLargestOpened .. " bytes of the parameter text are opened",
                        expert.group.UNDECODED, expert.severity.NOTE),
  dropped = ProtoExpert.new("voka.dropped", "Not unsealed: voka-server drops this request",
                            expert.group.MALFORMED, expert.severity.ERROR),
  rejected = ProtoExpert.new("voka.rejected", "The client rejects this answer",
                             expert.group.MALFORMED, expert.severity.ERROR),
  misread = ProtoExpert.new("voka.misread", "The client reads a field otherwise than a split at every NUL",
                            expert.group.PROTOCOL, expert.severity.WARN),
}
voka.experts = experts

voka.prefs.port = Pref.uint("UDP port", kDefaultPort, "UDP port of the challenge server")
voka.prefs.pass_phrase = Pref.string("Pass phrase", kPassPhrase, "Pass phrase the requests are sealed with")

------------------------------------------------------------------------------
-- DES (FIPS 46-3) on tables of bits, bit 1 being the top bit of byte 1.

local IP = {58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
            62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
            57, 49, 41, 33, 25, 17, 9, 1, 59, 51, 43, 35, 27, 19, 11, 3,
            61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7}
local E = {32, 1, 2, 3, 4, 5, 4, 5, 6, 7, 8, 9, 8, 9, 10, 11, 12, 13, 12, 13, 14, 15, 16, 17,
           16, 17, 18, 19, 20, 21, 20, 21, 22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1}
local P = {16, 7, 20, 21, 29, 12, 28, 17, 1, 15, 23, 26, 5, 18, 31, 10,
           2, 8, 24, 14, 32, 27, 3, 9, 19, 13, 30, 6, 22, 11, 4, 25}
local PC1 = {57, 49, 41, 33, 25, 17, 9, 1, 58, 50, 42, 34, 26, 18, 10, 2, 59, 51, 43, 35, 27, 19, 11, 3,
             60, 52, 44, 36, 63, 55, 47, 39, 31, 23, 15, 7, 62, 54, 46, 38, 30, 22, 14, 6, 61, 53, 45, 37,
             29, 21, 13, 5, 28, 20, 12, 4}
local PC2 = {14, 17, 11, 24, 1, 5, 3, 28, 15, 6, 21, 10, 23, 19, 12, 4, 26, 8, 16, 7, 27, 20, 13, 2,
             41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32}
local SHIFTS = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1}
local SBOXES = {
  {14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7, 0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8,
   4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0, 15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13},
  {15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10, 3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5,
   0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15, 13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9},
  {10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8, 13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1,
   13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7, 1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12},
  {7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15, 13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9,
   10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4, 3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14},
  {2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9, 14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6,
   4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14, 11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3},
  {12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11, 10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8,
   9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6, 4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13},
  {4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1, 13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6,
   1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2, 6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12},
  {13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7, 1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2,
   7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8, 2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11},
}

local band, bor, bxor, extract = bit32.band, bit32.bor, bit32.bxor, bit32.extract
local lshift, lrotate = bit32.lshift, bit32.lrotate

-- The final permutation undoes the initial one.
local FP = {}
for position, source in ipairs(IP) do FP[source] = position end

-- A permutation of 64 bits as lookups by byte: tables.high[b][v] and
-- tables.low[b][v] hold the output bits that byte b (0 to 7) with value v sets.
local function byte_tables(table_)
  local tables = {high = {}, low = {}}
  for b = 0, 7 do
    tables.high[b], tables.low[b] = {}, {}
    for v = 0, 255 do
      local high, low = 0, 0
      for i, source in ipairs(table_) do
        if source > b * 8 and source <= b * 8 + 8 and extract(v, b * 8 + 8 - source) == 1 then
          if i <= 32 then high = bor(high, lshift(1, 32 - i)) else low = bor(low, lshift(1, 64 - i)) end
        end
      end
      tables.high[b][v], tables.low[b][v] = high, low
    end
  end
  return tables
end
local IP_BYTES, FP_BYTES = byte_tables(IP), byte_tables(FP)

-- Contributions of different bytes never share a bit, so they add up.
local function permute64(high, low, tables)
  local out_high, out_low = 0, 0
  for b = 0, 7 do
    local v = b < 4 and extract(high, 24 - b * 8, 8) or extract(low, 56 - b * 8, 8)
    out_high, out_low = out_high + tables.high[b][v], out_low + tables.low[b][v]
  end
  return out_high, out_low
end

-- SP[box][six bits]: the S-box's output for those bits, already through P.
local SP = {}
for box = 1, 8 do
  SP[box] = {}
  for six = 0, 63 do
    local value = SBOXES[box][extract(six, 5) * 32 + extract(six, 0) * 16 + extract(six, 1, 4) + 1]
    local out = 0
    for i, source in ipairs(P) do
      local j = source - (box - 1) * 4 - 1
      if j >= 0 and j < 4 and extract(value, 3 - j) == 1 then out = bor(out, lshift(1, 32 - i)) end
    end
    SP[box][six] = out
  end
end

local function permute(bits, table_)
  local out = {}
  for i, source in ipairs(table_) do out[i] = bits[source] end
  return out
end

local function bytes_to_bits(bytes, first, count)
  local bits = {}
  for i = 0, count - 1 do
    local byte = bytes[first + i]
    for b = 7, 0, -1 do bits[#bits + 1] = extract(byte, b) end
  end
  return bits
end

-- The 16 rounds of an 8-byte key, reversed for decryption. Each round holds
-- the S-boxes in pairs with the round's subkey folded in: round[pair][ten
-- bits] is the two boxes' output through P for the ten bits of the right half
-- that the pair's twelve bits of the expansion E repeat.
local function key_schedule(key_bytes, first, decrypt)
  local cd = permute(bytes_to_bits(key_bytes, first, 8), PC1)
  local c, d = {}, {}
  for i = 1, 28 do c[i], d[i] = cd[i], cd[28 + i] end
  local subkeys = {}
  for round = 1, 16 do
    for _ = 1, SHIFTS[round] do
      table.insert(c, table.remove(c, 1))
      table.insert(d, table.remove(d, 1))
    end
    local joined = {}
    for i = 1, 28 do joined[i], joined[28 + i] = c[i], d[i] end
    local bits, pieces, pairs = permute(joined, PC2), {}, {}
    for box = 1, 8 do
      local piece = 0
      for i = 1, 6 do piece = piece * 2 + bits[box * 6 - 6 + i] end
      pieces[box] = piece
    end
    for pair = 1, 4 do
      local first, second, outputs = SP[pair * 2 - 1], SP[pair * 2], {}
      for ten = 0, 1023 do
        outputs[ten] = first[bxor(extract(ten, 4, 6), pieces[pair * 2 - 1])] +
                       second[bxor(extract(ten, 0, 6), pieces[pair * 2])]
      end
      pairs[pair] = outputs
    end
    subkeys[decrypt and 17 - round or round] = pairs
  end
  return subkeys
end

-- One DES operation on a block held as two 32-bit words, in the rounds'
-- order. Boxes 2p-1 and 2p take bits 8p-8 to 8p+1 of the right half (1 being
-- the top bit, wrapping around): the first three pairs from it rotated right
-- by 1, the last from it rotated left by 1. The pairs' outputs never share a
-- bit, so they add up.
local function des(high, low, rounds)
  local left, right = permute64(high, low, IP_BYTES)
  for round = 1, 16 do
    local k, x = rounds[round], lrotate(right, 31)
    local f = k[1][extract(x, 22, 10)] + k[2][extract(x, 14, 10)] + k[3][extract(x, 6, 10)] +
              k[4][extract(lrotate(right, 1), 0, 10)]
    left, right = right, bxor(left, f)
  end
  return permute64(right, left, FP_BYTES)
end

------------------------------------------------------------------------------
-- The 24-byte block cipher: three DES blocks that trade 32-bit halves
-- between the stages.

local function schedules(key, opening)
  if opening then
    return {key_schedule(key, 17, true), key_schedule(key, 9, false), key_schedule(key, 1, true)}
  end
  return {key_schedule(key, 1, false), key_schedule(key, 9, true), key_schedule(key, 17, false)}
end

local function word(bytes, first)
  return ((bytes[first] * 256 + bytes[first + 1]) * 256 + bytes[first + 2]) * 256 + bytes[first + 3]
end

-- Runs one block of bytes[first .. first + 23] and appends it to out.
local function crypt_block(bytes, first, stage_keys, out)
  local w = {}
  for i = 1, 6 do w[i] = word(bytes, first + (i - 1) * 4) end
  for stage = 1, 3 do
    if stage > 1 then w[2], w[3], w[4], w[5] = w[3], w[2], w[5], w[4] end
    local keys = stage_keys[stage]
    w[1], w[2] = des(w[1], w[2], keys)
    w[3], w[4] = des(w[3], w[4], keys)
    w[5], w[6] = des(w[5], w[6], keys)
  end
  for i = 1, 6 do
    for shift = 24, 0, -8 do out[#out + 1] = extract(w[i], shift, 8) end
  end
end

local function hex_to_bytes(hex)
  local bytes = {}
  for pair in hex:gmatch("%x%x") do bytes[#bytes + 1] = tonumber(pair, 16) end
  return bytes
end

-- The 24-byte key of a pass phrase: each pass XORs up to 24 characters (low
-- seven bits) into the key and encrypts it under the start key.
local function key_of(pass_phrase)
  local start = hex_to_bytes(kStartKey)
  local stage_keys = schedules(start, false)
  local key = start
  local next_char = 1
  repeat
    for i = 1, 24 do
      if next_char > #pass_phrase then break end
      key[i] = bxor(key[i], band(pass_phrase:byte(next_char), 0x7F))
      next_char = next_char + 1
    end
    local encrypted = {}
    crypt_block(key, 1, stage_keys, encrypted)
    key = encrypted
  until next_char > #pass_phrase
  return key
end

local BASE64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"
local base64_value = {}
for i = 1, 64 do base64_value[BASE64:byte(i)] = i - 1 end

-- Appends the bytes of the four characters at text[at]; false when one is
-- not Base64 or the padding's bits are not zero.
local function decode_quantum(text, at, last, bytes)
  local padding = 0
  if last and text:byte(at + 3) == 61 then padding = text:byte(at + 2) == 61 and 2 or 1 end
  local bits = 0
  for i = 0, 3 - padding do
    local value = base64_value[text:byte(at + i)]
    if value == nil then return false end
    bits = bits * 64 + value
  end
  bits = bits * 64 ^ padding
  if bits % 256 ^ padding ~= 0 then return false end
  for i = 2, padding, -1 do bytes[#bytes + 1] = math.floor(bits / 256 ^ i) % 256 end
  return true
end

-- Canonical padded Base64 only, as the server accepts it; nil otherwise. The
-- whole text is checked, but only its first limit bytes (a multiple of 3)
-- are decoded.
local function base64_decode(text, limit)
  if #text % 4 ~= 0 or not text:find("^[A-Za-z0-9+/]*=?=?$") then return nil end
  local bytes = {}
  local decoded = math.min(#text, limit / 3 * 4)
  for at = 1, decoded, 4 do
    if not decode_quantum(text, at, at + 4 > #text, bytes) then return nil end
  end
  if decoded < #text and not decode_quantum(text, #text - 3, true, {}) then return nil end
  return bytes
end

-- The key schedules of the pass phrase last used, kept across packets.
local opened_with, opening_keys

-- Opens a sealed payload into its parameter text, and whether it was cut at
-- kLargestOpened; nil when it does not open.
local function unseal(sealed, pass_phrase)
  local bytes = base64_decode(sealed, kLargestOpened)
  if bytes == nil then return nil end
  local cut = #bytes == kLargestOpened and #sealed > kLargestOpened / 3 * 4
  -- Sealing dropped the trailing 0xFF bytes of the last block: put them back.
  while #bytes % 24 ~= 0 do bytes[#bytes + 1] = 0xFF end
  if pass_phrase ~= opened_with then
    opening_keys, opened_with = schedules(key_of(pass_phrase), true), pass_phrase
  end
  local plain = {}
  for first = 1, #bytes, 24 do
    crypt_block(bytes, first, opening_keys, plain)
    -- Every parameter text starts with an upper-case NAME=; a first block
    -- that cannot start one means a wrong pass phrase or a payload that was
    -- never sealed, and the rest is not worth opening.
    if first == 1 and #bytes > 24 then
      local start = string.char(table.unpack(plain))
      if not (start:find("^[A-Z]+=") or start:find("^[A-Z]+$")) then return nil end
    end
  end
  while not cut and plain[#plain] == 0xFF do plain[#plain] = nil end
  local chars = {}
  for i, byte in ipairs(plain) do chars[i] = string.char(byte) end
  local text = table.concat(chars)
  if #text > 0 and not text:find("^[A-Z]+=") then return nil end
  return text, cut
end

------------------------------------------------------------------------------
-- Dissection.

-- The NAME=value pieces of text between separators, found from the left:
-- {first, stop, equals} with stop the index after the piece, and equals that
-- of its first '=' (nil when it has none).
local function split_fields(text, separators)
  local pieces = {}
  local start = 1
  while start <= #text do
    local stop, next_start = #text + 1, #text + 1
    for _, separator in ipairs(separators) do
      local at = text:find(separator, start, true)
      if at ~= nil and at < stop then stop, next_start = at, at + #separator end
    end
    if stop > start then
      local equals = text:find("=", start, true)
      pieces[#pieces + 1] = {first = start, stop = stop, equals = equals ~= nil and equals < stop and equals or nil}
    end
    start = next_start
  end
  return pieces
end

-- Adds the fields of text (in tvb) between separators.
local function add_fields(tvb, tree, separators)
  for _, piece in ipairs(split_fields(tvb:raw(), separators)) do
    local first, stop, equals = piece.first, piece.stop, piece.equals
    local item = tree:add_packet_field(fields.field, tvb(first - 1, stop - first), ENC_GB18030)
    if equals ~= nil then
      item:add_packet_field(fields.name, tvb(first - 1, equals - first), ENC_GB18030)
      if stop > equals + 1 then
        item:add_packet_field(fields.value, tvb(equals, stop - equals - 1), ENC_GB18030)
      else
        item:add(fields.value, "")
      end
    end
  end
end

-- Name -> value of the fields of text, names upper-cased as the client keeps
-- them; a later field of a name replaces an earlier one.
local function field_values(text, separators)
  local values = {}
  for _, piece in ipairs(split_fields(text, separators)) do
    if piece.equals ~= nil then
      local name = text:sub(piece.first, piece.equals - 1):gsub("[a-z]", string.upper)
      values[name] = text:sub(piece.equals + 1, piece.stop - 1)
    end
  end
  return values
end

-- Bytes outside printable ASCII as \xHH, for expert texts.
local function printable(text)
  return (text:gsub("[^ -~]", function(byte) return string.format("\\x%02X", byte:byte()) end))
end

-- An answer's payload as the client reads it: empty when it starts with NUL;
-- its last byte dropped when that is NUL or follows a byte that is not; each
-- remaining NUL turned into "^$^".
local function client_answer_text(bytes)
  if #bytes == 0 or bytes:byte(1) == 0 then return "" end
  if bytes:byte(#bytes) == 0 or (#bytes >= 2 and bytes:byte(#bytes - 1) ~= 0) then bytes = bytes:sub(1, -2) end
  return (bytes:gsub("\0", "^$^"))
end

local function check_fixed(item, value, expected)
  if value ~= expected then
    item:add_proto_expert_info(experts.bad_fixed, "Fixed word is " .. value .. ", not " .. expected)
  end
end

-- payload is nil for an empty payload, which is the sealed empty text. Only
-- what voka-server would open is unsealed.
local function dissect_request(tvb, payload, tree)
  if tvb:len() > kLargestRequest then
    tree:add_proto_expert_info(experts.dropped, "Not unsealed: voka-server drops a request longer than " ..
                               kLargestRequest .. " bytes")
    return
  end
  if tvb(0, 4):uint() ~= tvb:len() - 4 or tvb(12, 2):uint() ~= 1 or tvb(14, 2):uint() ~= 0 or
     tvb(18, 2):uint() ~= 1 then
    tree:add_proto_expert_info(experts.dropped, "Not unsealed: voka-server drops a request that its header does not frame")
    return
  end
  local sealed = ""
  if payload ~= nil then
    tree:add(fields.sealed, payload)
    sealed = payload:raw()
  end
  local text, cut = unseal(sealed, voka.prefs.pass_phrase)
  if text == nil then
    tree:add_proto_expert_info(experts.not_sealed)
    return
  end
  if cut then tree:add_proto_expert_info(experts.cut) end
  if #text == 0 then
    tree:add(fields.text, "")
    return
  end
  local opened = ByteArray.new(text, true):tvb("Unsealed parameters")
  add_fields(opened, tree:add(fields.text, opened(), text), {"^$^"})
end

-- The fields of an answer as the client reads them, and where a reading that
-- splits at every NUL would differ.
local function dissect_answer(tvb, payload, tree)
  if tvb:len() >= kAnswerLimit then
    tree:add_proto_expert_info(experts.rejected, "The client rejects an answer of " .. tvb:len() ..
                               " bytes: it takes answers shorter than " .. kAnswerLimit)
    return
  end
  if tvb(0, 4):uint() >= kLengthLimit then
    tree:add_proto_expert_info(experts.rejected, "The client rejects an answer whose dwLength is " ..
                               kLengthLimit .. " or more")
    return
  end
  if payload == nil then return end
  local bytes = payload:raw()
  local text = client_answer_text(bytes)
  if #text > 0 then
    local read = ByteArray.new(text, true):tvb("Answer as the client reads it")
    add_fields(read, tree, {"^$^"})
  end
  local length = #bytes
  if bytes:byte(length) ~= 0 and (length < 2 or bytes:byte(length - 1) ~= 0) then
    tree:add_proto_expert_info(experts.unterminated)
  end
  local client, naive = field_values(text, {"^$^"}), field_values(bytes, {"\0", "^$^"})
  local names = {}
  for name in pairs(naive) do names[#names + 1] = name end
  table.sort(names)
  for _, name in ipairs(names) do
    local naively = " (a split at every NUL gives " .. printable(name) .. "=" .. printable(naive[name]) .. ")"
    if client[name] == nil then
      tree:add_proto_expert_info(experts.misread, "The client finds no " .. printable(name) .. naively)
    elseif client[name] ~= naive[name] then
      tree:add_proto_expert_info(experts.misread,
                                 "The client reads " .. printable(name) .. "=" .. printable(client[name]) .. naively)
    end
  end
end

-- A datagram to the server's port is a request, one from it an answer; on
-- other ports (Decode As) an answer is told by its separators, which Base64
-- never holds.
local function is_answer(pinfo, payload)
  if pinfo.dst_port == voka.prefs.port then return false end
  if pinfo.src_port == voka.prefs.port then return true end
  if payload == nil then return false end
  local text = payload:raw()
  return text:find("\0", 1, true) ~= nil or text:find("^$^", 1, true) ~= nil
end

function voka.dissector(tvb, pinfo, tree)
  pinfo.cols.protocol = "VOKA"
  local subtree = tree:add(voka, tvb())
  if tvb:len() < kHeaderSize then
    subtree:add_proto_expert_info(experts.short)
    return
  end
  local payload = tvb:len() > kHeaderSize and tvb(kHeaderSize) or nil
  local answer = is_answer(pinfo, payload)
  local kind = answer and "answer" or "request"
  subtree:add(fields.kind, kind)

  local length_item = subtree:add(fields.length, tvb(0, 4))
  if tvb(0, 4):uint() ~= tvb:len() - 4 then
    length_item:add_proto_expert_info(experts.bad_length,
        "dwLength " .. tvb(0, 4):uint() .. " is not the datagram size less 4 (" .. (tvb:len() - 4) .. ")")
  end
  local command = tvb(4, 2):uint()
  subtree:add(fields.command, tvb(4, 2))
  subtree:add(fields.sequence, tvb(6, 4))
  subtree:add(fields.param1, tvb(10, 2))
  check_fixed(subtree:add(fields.fixed1, tvb(12, 2)), tvb(12, 2):uint(), 1)
  check_fixed(subtree:add(fields.fixed2, tvb(14, 2)), tvb(14, 2):uint(), 0)
  subtree:add(fields.param2, tvb(16, 2))
  check_fixed(subtree:add(fields.fixed3, tvb(18, 2)), tvb(18, 2):uint(), 1)

  local name = command_names[command] or string.format("command 0x%04X", command)
  pinfo.cols.info = string.format("%s %s, seq %d", name, kind, tvb(6, 4):uint())
  if answer then
    dissect_answer(tvb, payload, subtree)
  else
    dissect_request(tvb, payload, subtree)
  end
end

local udp_port = DissectorTable.get("udp.port")
local registered_port = voka.prefs.port
udp_port:add(registered_port, voka)
udp_port:add_for_decode_as(voka)

function voka.prefs_changed()
  if registered_port ~= voka.prefs.port then
    udp_port:remove(registered_port, voka)
    registered_port = voka.prefs.port
    udp_port:add(registered_port, voka)
  end
end
