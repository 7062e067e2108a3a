-- particles: a pool of small tables with fields moved, bounced and recycled each frame
printh = printh or print
local ps = {}
for i = 1, 500 do
  ps[i] = {x = i % 128, y = (i * 7) % 128, dx = (i % 5) - 2, dy = (i % 3) - 1, life = i % 60}
end
local s = 0
for frame = 1, 6000 do
  for i = 1, #ps do
    local p = ps[i]
    p.x = p.x + p.dx
    p.y = p.y + p.dy
    if p.x < 0 or p.x > 127 then p.dx = -p.dx end
    if p.y < 0 or p.y > 127 then p.dy = -p.dy end
    p.life = p.life - 1
    if p.life <= 0 then
      ps[i] = {x = 64, y = 64, dx = (i + frame) % 5 - 2, dy = (i + frame * 2) % 3 - 1, life = 60}
    end
    s = (s + p.x + p.y) % 30000
  end
end
printh(s)
