"""Prints every registered moniker and its object"""
import vorn

rot = vorn.os.CreateInstance("vorn.Rot")
for i in range(len(rot)):
    obj = rot[i]
    # an object's text names its moniker ("<vorn.Object kalix.KxDevice kx:/dev ...>")
    text = repr(obj)
    moniker = next((word for word in text.split() if ":/" in word), "?")
    print("%-24s %s" % (moniker, text))
print("%d registered objects" % len(rot))
