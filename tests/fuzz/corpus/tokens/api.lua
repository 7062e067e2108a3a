spr(1) btn(‹) foreach(t, f) menuitem(1)
function f() local x = nil return true end
