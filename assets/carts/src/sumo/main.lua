-- sumo slam
-- a duel for two players, or one against the machine: push the other
-- wrestler out of the ring. arrows move, z charges, x stands firm.

ring_x = 64
ring_y = 76
ring_r = 44
squash = 0.62
body_r = 7
wins_needed = 3

snd_slap = 0
snd_dash = 1
snd_out = 2
snd_tick = 3
snd_go = 4
snd_win = 5
snd_brace = 6
snd_move = 7

-- the belt and hair colours of each side
belts = {8, 12}
names = {"red", "blue"}
coats = {2, 5, 13, 3, 4, 1, 12}

function _init()
  frame = 0
  state = "title"
  mode = 1
  shake = 0
  wait = 0
  dust = {}
  -- the crowd sits in rows behind the ring
  crowd = {}
  for row = 0, 3 do
    for i = 0, 13 do
      add(crowd, {x = i * 9 + 4 + row % 2 * 4 + rnd(2), y = 16 + row * 8,
                  c = coats[1 + flr(rnd(#coats))], p = rnd(1)})
    end
  end
  music(0, 0, 3)
end

function new_match()
  score = {0, 0}
  cpu = mode == 1
  music(-1, 500)
  new_round()
end

function new_round()
  men = {
    {x = ring_x - 20, y = ring_y, dx = 0, dy = 0, fx = 1, fy = 0},
    {x = ring_x + 20, y = ring_y, dx = 0, dy = 0, fx = -1, fy = 0},
  }
  for i = 1, 2 do
    local m = men[i]
    m.side = i
    m.stamina = 1
    m.dash = 0
    m.brace = false
    m.hit = 0
    m.step = 0
  end
  state = "ready"
  count = 150
  dust = {}
  shake = 0
end

function pressing(b, p)
  if p == 2 and cpu then return cpu_buttons[b] end
  return btn(b, p - 1)
end

function pressed(b, p)
  if p == 2 and cpu then return cpu_buttons[b] and not cpu_before[b] end
  return btnp(b, p - 1)
end

-- the machine's wrestler: it closes in, charges when it faces its
-- opponent, braces when charged, and keeps away from the rope
function think()
  cpu_before = cpu_buttons or {}
  cpu_buttons = {}
  local me = men[2]
  local you = men[1]
  local tx = you.x
  local ty = you.y
  local ex = (me.x - ring_x) / 8
  local ey = (me.y - ring_y) / 8
  local edge = sqrt(ex * ex + ey * ey) * 8
  if edge > ring_r - 12 then
    -- too near the rope: head back in, around the opponent
    tx = ring_x + (you.x - ring_x) * 0.3
    ty = ring_y + (you.y - ring_y) * 0.3
  end
  -- wobble a little so it is beatable
  tx = tx + sin(frame / 70) * 8
  ty = ty + cos(frame / 90) * 8
  if tx < me.x - 2 then cpu_buttons[0] = true end
  if tx > me.x + 2 then cpu_buttons[1] = true end
  if ty < me.y - 2 then cpu_buttons[2] = true end
  if ty > me.y + 2 then cpu_buttons[3] = true end
  local dx = you.x - me.x
  local dy = you.y - me.y
  local near = abs(dx) + abs(dy)
  local eager = 0.02
  if near < 18 then eager = 0.04 end
  if near < 34 and me.stamina > 0.6 and rnd(1) < eager then cpu_buttons[4] = true end
  -- it sees a charge coming only now and then, and then stands firm
  -- until the charge is over
  if you.dash == 13 then cpu_guard = rnd(1) < 0.35 end
  if you.dash > 0 and cpu_guard and near < 30 then cpu_buttons[5] = true end
end

function _update60()
  frame = (frame + 1) % 25200
  if wait > 0 then wait = wait - 1 end
  for d in all(dust) do
    d.x = d.x + d.dx
    d.y = d.y + d.dy
    d.life = d.life - 1
    if d.life <= 0 then del(dust, d) end
  end
  if state == "title" then
    if btnp(2) or btnp(3) then
      mode = 3 - mode
      sfx(snd_move)
    end
    if wait == 0 and (btnp(4) or btnp(5)) then new_match() end
  elseif state == "ready" then
    count = count - 1
    if count % 50 == 0 and count > 0 then sfx(snd_tick) end
    if count <= 0 then
      state = "fight"
      sfx(snd_go)
    end
  elseif state == "fight" then
    update_fight()
  elseif state == "out" then
    update_bodies(false)
    if wait == 0 then
      if score[winner] >= wins_needed then
        state = "champion"
        wait = 60
        sfx(snd_win)
        music(0, 0, 3)
      else
        new_round()
      end
    end
  elseif state == "champion" then
    if wait == 0 and (btnp(4) or btnp(5)) then
      state = "title"
      wait = 10
    end
  end
  if shake > 0 then shake = shake - 1 end
end

function update_fight()
  if count > -40 then count = count - 1 end
  if cpu then think() end
  for p = 1, 2 do
    local m = men[p]
    local ax = 0
    local ay = 0
    if pressing(0, p) then ax = ax - 1 end
    if pressing(1, p) then ax = ax + 1 end
    if pressing(2, p) then ay = ay - 1 end
    if pressing(3, p) then ay = ay + 1 end
    if ax ~= 0 or ay ~= 0 then
      local l = sqrt(ax * ax + ay * ay)
      m.fx = ax / l
      m.fy = ay / l
      m.step = m.step + 1
    end
    local was = m.brace
    m.brace = pressing(5, p) and m.dash == 0
    if m.brace and not was then sfx(snd_brace) end
    local push = 0.09
    if m.brace then push = 0.02 end
    m.dx = m.dx + ax * push
    m.dy = m.dy + ay * push
    m.stamina = min(1, m.stamina + 0.006)
    if pressed(4, p) and m.stamina >= 0.5 and m.dash == 0 then
      -- a charge: a burst forward that costs half the stamina
      m.stamina = m.stamina - 0.5
      m.dash = 14
      m.dx = m.dx + m.fx * 2.8
      m.dy = m.dy + m.fy * 2.8
      sfx(snd_dash)
    end
    if m.dash > 0 then m.dash = m.dash - 1 end
  end
  update_bodies(true)
  for p = 1, 2 do
    local m = men[p]
    local ex = (m.x - ring_x) / 8
    local ey = (m.y - ring_y) / 8
    if sqrt(ex * ex + ey * ey) * 8 > ring_r then
      winner = 3 - p
      score[winner] = score[winner] + 1
      state = "out"
      wait = 100
      shake = 14
      sfx(snd_out)
      kick_dust(m.x, m.y, 16)
      return
    end
  end
end

function kick_dust(x, y, n)
  for i = 1, n do
    local a = rnd(1)
    local s = 0.3 + rnd(1.2)
    add(dust, {x = x, y = y, dx = cos(a) * s, dy = sin(a) * s,
               life = 10 + flr(rnd(15)), c = 15, h = 0})
  end
end

function update_bodies(collide)
  for p = 1, 2 do
    local m = men[p]
    local drag = 0.9
    if m.brace then drag = 0.75 end
    -- just hit hard: staggering, he slides a long way
    if m.hit > 0 then drag = 0.95 end
    m.dx = m.dx * drag
    m.dy = m.dy * drag
    m.x = m.x + m.dx
    m.y = m.y + m.dy
    if m.hit > 0 then m.hit = m.hit - 1 end
    if (abs(m.dx) + abs(m.dy) > 1.2) and frame % 3 == 0 then
      kick_dust(m.x, m.y, 1)
    end
  end
  if not collide then return end
  local a = men[1]
  local b = men[2]
  local nx = b.x - a.x
  local ny = b.y - a.y
  -- scaled down by 8 so the squares stay inside the number range
  local d = sqrt((nx / 8) * (nx / 8) + (ny / 8) * (ny / 8)) * 8
  if d < body_r * 2 and d > 0.01 then
    nx = nx / d
    ny = ny / d
    -- push apart, then trade momentum along the line between them; a
    -- braced wrestler weighs three times as much, a charging one hits
    -- twice as hard
    local overlap = body_r * 2 - d
    a.x = a.x - nx * overlap / 2
    a.y = a.y - ny * overlap / 2
    b.x = b.x + nx * overlap / 2
    b.y = b.y + ny * overlap / 2
    local va = a.dx * nx + a.dy * ny
    local vb = b.dx * nx + b.dy * ny
    local closing = va - vb
    if closing > 0 then
      local ma = 1
      local mb = 1
      if a.brace then ma = 3 end
      if b.brace then mb = 3 end
      local power = 1.3
      if a.dash > 0 or b.dash > 0 then power = 2 end
      local j = closing * power / (1 / ma + 1 / mb)
      a.dx = a.dx - nx * j / ma
      a.dy = a.dy - ny * j / ma
      b.dx = b.dx + nx * j / mb
      b.dy = b.dy + ny * j / mb
      if closing > 0.8 then
        sfx(snd_slap)
        a.hit = 20
        b.hit = 20
        shake = min(6, flr(closing * 2))
        local cx = (a.x + b.x) / 2
        local cy = (a.y + b.y) / 2
        for i = 1, 6 do
          local ang = rnd(1)
          add(dust, {x = cx, y = cy, dx = cos(ang) * 1.5, dy = sin(ang) * 1.5,
                     life = 8, c = 7, h = 9})
        end
      end
    end
  end
end

-- drawing

function shadow_print(s, x, y, c)
  print(s, x + 1, y + 1, 0)
  print(s, x, y, c)
end

function centre_print(s, y, c)
  shadow_print(s, 64 - #s * 2, y, c)
end

-- a line of text on a dark strip, readable over the crowd and the clay
function banner(s, y, c)
  local w = #s * 2 + 3
  rectfill(64 - w, y - 2, 63 + w, y + 6, 0)
  centre_print(s, y, c)
end

-- the ring is seen from above at a slant: y on the screen is squeezed
function view(x, y)
  return x, ring_y + (y - ring_y) * squash
end

-- the half widths of each size of oval, worked out once
oval_rows = {}

function oval(x, y, rx, ry, c)
  local key = rx * 128 + ry
  local rows = oval_rows[key]
  if not rows then
    rows = {}
    for j = -ry, ry do
      local t = j / ry
      add(rows, rx * sqrt(max(0, 1 - t * t)))
    end
    oval_rows[key] = rows
  end
  local j = y - ry
  for w in all(rows) do
    line(x - w, j, x + w, j, c)
    j = j + 1
  end
end

function draw_ring()
  -- the hall and the crowd, then the raised ring of clay and its rope
  rectfill(0, 0, 127, 127, 1)
  for c in all(crowd) do
    local hop = 0
    if state == "out" or state == "champion" then
      hop = abs(sin(frame / 20 + c.p)) * 2
    end
    circfill(c.x, c.y + 3, 3, c.c)
    circfill(c.x, c.y - hop, 2, 15)
    pset(c.x, c.y - hop - 2, 0)
  end
  local ry = (ring_r + 9) * squash
  oval(ring_x, ring_y + 7, ring_r + 9, ry, 4)
  rectfill(ring_x - ring_r - 9, ring_y, ring_x + ring_r + 9, ring_y + 7, 4)
  oval(ring_x, ring_y, ring_r + 9, ry, 15)
  oval(ring_x, ring_y, ring_r + 2, (ring_r + 2) * squash, 9)
  fillp(0x5a5a.8)
  oval(ring_x, ring_y, ring_r + 1, (ring_r + 1) * squash, 4)
  fillp()
  oval(ring_x, ring_y, ring_r - 1, (ring_r - 1) * squash, 15)
  -- the two start lines
  line(ring_x - 12, ring_y - 3, ring_x - 12, ring_y + 3, 7)
  line(ring_x + 12, ring_y - 3, ring_x + 12, ring_y + 3, 7)
end

function draw_man(m)
  local x, y = view(m.x, m.y)
  oval(x, y, 7, 2, 4)
  if m.fx > 0.1 then m.left = false end
  if m.fx < -0.1 then m.left = true end
  local n = 1
  if m.dash > 0 then n = 3 end
  if m.brace then n = 5 end
  pal(8, belts[m.side])
  if m.hit > 0 and m.hit % 4 < 2 then pal(15, 7) end
  local bob = 0
  if n == 1 and flr(m.step / 8) % 2 == 1 then bob = 1 end
  spr(n, x - 8, y - 15 + bob, 2, 2, m.left)
  pal()
end

function draw_stamina(m, x)
  local c = belts[m.side]
  rect(x, 121, x + 41, 125, 0)
  rectfill(x + 1, 122, x + 1 + m.stamina * 39, 124, c)
  if m.stamina >= 0.5 then pset(x + 20, 122, 7) end
end

function draw_score()
  rectfill(0, 0, 127, 8, 0)
  print(names[1], 2, 2, belts[1])
  print(names[2], 126 - #names[2] * 4, 2, belts[2])
  for i = 1, wins_needed do
    local c1 = 5
    local c2 = 5
    if score[1] >= i then c1 = belts[1] end
    if score[2] >= i then c2 = belts[2] end
    circfill(20 + i * 7, 4, 2, c1)
    circfill(106 - i * 7, 4, 2, c2)
  end
  if cpu then print("vs cpu", 52, 2, 6) else print("duel", 56, 2, 6) end
end

function _draw()
  cls()
  if shake > 0 then camera(rnd(3) - 1, rnd(3) - 1) end
  draw_ring()
  if state == "title" then
    camera()
    draw_title()
    return
  end
  -- the lower wrestler is drawn last, in front
  local a = men[1]
  local b = men[2]
  if a.y > b.y then a, b = b, a end
  draw_man(a)
  draw_man(b)
  for d in all(dust) do
    local x, y = view(d.x, d.y)
    pset(x, y - d.h, d.c)
  end
  camera()
  draw_score()
  draw_stamina(men[1], 2)
  draw_stamina(men[2], 84)

  if state == "ready" then
    local n = flr(count / 50) + 1
    banner("get ready", 30, 10)
    banner(tostr(n), 40, 7)
  elseif state == "fight" and count > -40 then
    banner("hakkeyoi!", 34, 10)
  elseif state == "out" then
    banner(names[winner] .. " wins the bout", 30, belts[winner])
  elseif state == "champion" then
    rectfill(16, 46, 111, 88, 0)
    rect(16, 46, 111, 88, belts[winner])
    centre_print(names[winner] .. " is champion!", 52, belts[winner])
    centre_print(score[1] .. " - " .. score[2], 64, 7)
    if wait == 0 and flr(frame / 30) % 2 == 0 then
      centre_print("z/x: to the title", 78, 6)
    end
  end
end

function draw_title()
  -- two wrestlers face off in the ring
  local t = frame / 60
  local sway = sin(t / 2) * 3
  local a = {x = ring_x - 12 + sway, y = ring_y, fx = 1, fy = 0, side = 1,
             hit = 0, brace = sway > 2, dash = 0, step = frame}
  local b = {x = ring_x + 12 + sway, y = ring_y, fx = -1, fy = 0, side = 2,
             hit = 0, brace = sway < -2, dash = 0, step = frame}
  draw_man(a)
  draw_man(b)
  rectfill(20, 12, 107, 34, 0)
  rect(20, 12, 107, 34, 8)
  centre_print("sumo slam", 16, 7)
  centre_print("push them out!", 25, 9)
  local opts = {"1 player vs cpu", "2 players"}
  rectfill(18, 94, 109, 116, 0)
  rect(18, 94, 109, 116, 5)
  for i = 1, 2 do
    local c = 5
    local s = opts[i]
    if mode == i then
      c = 7
      s = "> " .. s .. " <"
    end
    centre_print(s, 89 + i * 9, c)
  end
  shadow_print("z charge  x stand firm", 20, 120, 6)
end
