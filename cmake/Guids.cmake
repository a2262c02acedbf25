# The product's fixed identifiers, defined once. Every generated file (type
# library source, registration scripts, C++ constants) takes them from here.
set(KORVEL_CLSID "E3644F0A-E99E-4C9E-A037-2B005B75902E")   # CLSID_KorvelIE
set(KORVEL_IID   "C0A5994B-5677-4F10-B68D-9CB1A10A1514")   # IID_IKorvelIE
set(KORVEL_LIBID "2A0179E5-D265-4630-8D59-4C2B0E23312D")   # LIBID_KorvelToolLib
set(KORVEL_APPID "F3613BF7-BF7B-4FD8-8134-E8C409BC5FFE")   # AppID of the module
