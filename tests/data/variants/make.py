#!/usr/bin/env python3
"""Makes variants/jst.mdb from collection/jst.mdb by replacing the text of three records'
content with text of the same length in UTF-16 (the database stores these characters
two bytes each, so the file's layout is unchanged)."""
import pathlib

here = pathlib.Path(__file__).resolve().parent
data = bytearray((here.parent / "collection" / "jst.mdb").read_bytes())
for old, new in [("咳嗽，痰多。", "食後，痰多。"),      # 咳嗽一: 後
                 ("咳嗽，無痰。", "食后，無痰。"),      # 咳嗽二: 后
                 ("發熱惡寒，頭痛。", "发热恶寒，头痛。")]:  # 無日期: simplified forms
    a, b = old.encode("utf-16-le"), new.encode("utf-16-le")
    assert len(a) == len(b) and data.count(a) == 1, old
    at = data.index(a)
    data[at:at + len(a)] = b
(here / "jst.mdb").write_bytes(bytes(data))
